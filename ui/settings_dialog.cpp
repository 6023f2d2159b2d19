// Threads: everything here runs on the UI thread, the poll timer and the two
// receive handlers included. The reader thread is started here but shares
// nothing with the dialog except the receive buffer, behind its lock.
#include "settings_dialog.h"

#include <commctrl.h>

#include <cstdio>

#include "frame.h"
#include "reader_thread.h"
#include "receive_buffer.h"
#include "resource.h"
#include "serial_port.h"
#include "settings_payload.h"
#include "texts.h"

namespace {

constexpr int MAX_PORTS = 32;
constexpr int RATE_COUNT = sizeof RATE_TEXTS / sizeof RATE_TEXTS[0];
constexpr int ADDRESS_FIELDS[] = {IDC_IP_ADDRESS, IDC_SUBNET_MASK, IDC_GATEWAY};

struct DialogState {
    HWND dialog;
    bool portOpen;
    int portNumbers[MAX_PORTS];
    int portCount;
    HWND portList;
    HWND rateList;
};

DialogState state;

HWND Control(int id) {
    return GetDlgItem(state.dialog, id);
}

void OnSettingsReceived(const DeviceSettings& settings) {
    // An index outside the list leaves it with no selection.
    const int rate = settings.selection[1] < RATE_COUNT ? settings.selection[1] : -1;
    SendMessageA(state.rateList, CB_SETCURSEL, static_cast<WPARAM>(rate), 0);
    SendDlgItemMessageA(state.dialog, IDC_IP_ADDRESS, IPM_SETADDRESS, 0, settings.ipAddress);
    SendDlgItemMessageA(state.dialog, IDC_SUBNET_MASK, IPM_SETADDRESS, 0, settings.subnetMask);
    SendDlgItemMessageA(state.dialog, IDC_GATEWAY, IPM_SETADDRESS, 0, settings.gateway);
    SetDlgItemTextA(state.dialog, IDC_VERSION, settings.versionText.c_str());
    EnableWindow(Control(IDC_APPLY), TRUE);
}

void OnSetAcknowledged() {
    // No owner: the dialog stays usable while the box is open.
    MessageBoxA(nullptr, TEXT_SET_SUCCEEDED, TEXT_SUCCESS_CAPTION, MB_OK);
}

void FillPortList() {
    const std::uint32_t mask = EnumeratePorts();
    state.portCount = 0;
    for (int k = 0; k < MAX_PORTS; ++k) {
        if (mask & (1u << k)) {
            state.portNumbers[state.portCount++] = k + 1;
        }
    }
    for (int k = 0; k < state.portCount; ++k) {
        char text[16];
        std::snprintf(text, sizeof text, "COM%d", state.portNumbers[k]);
        SendMessageA(state.portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageA(state.portList, CB_SETCURSEL, 0, 0);
}

void FillRateList() {
    for (const char* rate : RATE_TEXTS) {
        SendMessageA(state.rateList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rate));
    }
}

INT_PTR OnInitDialog(HWND dialog) {
    state.dialog = dialog;
    state.portOpen = false;
    state.portList = GetDlgItem(dialog, IDC_PORT_LIST);
    state.rateList = GetDlgItem(dialog, IDC_RATE_LIST);

    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = 0xFF;
    InitCommonControlsEx(&classes);

    SetReceiveHandlers({OnSettingsReceived, OnSetAcknowledged});
    StartReaderThread();
    FillPortList();
    FillRateList();
    EnableWindow(Control(IDC_APPLY), FALSE);
    return TRUE;
}

void OpenChosenPort() {
    char name[10] = "";
    GetWindowTextA(state.portList, name, sizeof name);
    char path[16];
    std::snprintf(path, sizeof path, "\\\\.\\%s", name);
    if (!OpenPort(path)) {
        return;
    }
    state.portOpen = true;
    ResetPollCount();
    WritePort(QUERY_FRAME, QUERY_FRAME_SIZE);
    SetTimer(state.dialog, POLL_TIMER_ID, POLL_PERIOD_MS, nullptr);
    SetDlgItemTextA(state.dialog, IDC_PORT_BUTTON, TEXT_CLOSE_PORT);
}

void CloseChosenPort() {
    EnableWindow(Control(IDC_APPLY), FALSE);
    ClosePort();
    state.portOpen = false;
    SetDlgItemTextA(state.dialog, IDC_VERSION, "");
    for (int id : ADDRESS_FIELDS) {
        SetDlgItemTextA(state.dialog, id, "");
        // Some address controls keep their octets on an empty text; this
        // blanks them everywhere.
        SendDlgItemMessageA(state.dialog, id, IPM_CLEARADDRESS, 0, 0);
    }
    SendMessageA(state.rateList, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    KillTimer(state.dialog, POLL_TIMER_ID);
    SetDlgItemTextA(state.dialog, IDC_PORT_BUTTON, TEXT_OPEN_PORT);
}

Ipv4Value ReadAddress(int id) {
    DWORD address = 0;  // a blank octet reads as 0
    SendDlgItemMessageA(state.dialog, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    return address;
}

void ApplySettings() {
    const int rate = static_cast<int>(SendMessageA(state.rateList, CB_GETCURSEL, 0, 0));
    const Ipv4Value ip = ReadAddress(IDC_IP_ADDRESS);
    const Ipv4Value mask = ReadAddress(IDC_SUBNET_MASK);
    const Ipv4Value gateway = ReadAddress(IDC_GATEWAY);
    WritePort(PrepareSetRequest(rate, ip, mask, gateway), SET_REQUEST_SIZE);
    ResetPollCount();
}

void OnCommand(int id) {
    switch (id) {
        case IDC_PORT_BUTTON:
            if (state.portOpen) {
                CloseChosenPort();
            } else {
                OpenChosenPort();
            }
            break;
        case IDC_APPLY:
            ApplySettings();
            break;
        default:
            break;
    }
}

INT_PTR OnCtlColorStatic(HDC dc) {
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return FALSE;
        case WM_TIMER:
            if (wParam == POLL_TIMER_ID) {
                OnPollTick();
            }
            return FALSE;
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam));
        case WM_DESTROY:
            PostQuitMessage(0);
            return FALSE;
        default:
            return FALSE;
    }
}
