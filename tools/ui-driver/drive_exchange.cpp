// Drives one exchange in a running utility, as a technician would: choose
// the port named on the command line, press "打开串口" and wait until the
// device's settings are shown. Prints what the dialog then shows.
//
//   drive-exchange.exe [COMn]     (default COM3)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "resource.h"
#include "ui_driver.h"

namespace {

std::string Narrow(const std::wstring& text) {
    char out[512] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const char* port = argc > 1 ? argv[1] : "COM3";
    App app;
    if (!app.Attach(0, 30000)) {
        std::fprintf(stderr, "drive-exchange: the utility's window did not appear\n");
        return 1;
    }
    HWND ports = app.Item(IDC_PORT_LIST);
    if (SendMessageA(ports, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(port)) == CB_ERR) {
        std::fprintf(stderr, "drive-exchange: %s is not in the port list\n", port);
        return 1;
    }
    Click(app.Item(IDC_PORT_BUTTON));
    if (!WaitFor([&] { return IsWindowEnabled(app.Item(IDC_APPLY)) != FALSE; }, 5000)) {
        std::fprintf(stderr, "drive-exchange: no settings shown within 5 s\n");
        return 1;
    }
    wchar_t rate[32] = L"";
    const LRESULT chosen = SendMessageW(app.Item(IDC_RATE_LIST), CB_GETCURSEL, 0, 0);
    if (chosen != CB_ERR) {
        SendMessageW(app.Item(IDC_RATE_LIST), CB_GETLBTEXT, chosen, reinterpret_cast<LPARAM>(rate));
    }
    std::printf("%s opened; the device reports:\n", port);
    std::printf("  IP address  %s\n", Narrow(Text(app.Item(IDC_IP_ADDRESS))).c_str());
    std::printf("  subnet mask %s\n", Narrow(Text(app.Item(IDC_SUBNET_MASK))).c_str());
    std::printf("  gateway     %s\n", Narrow(Text(app.Item(IDC_GATEWAY))).c_str());
    std::printf("  rate        %s\n", Narrow(rate).c_str());
    std::printf("  version     %s\n", Narrow(Text(app.Item(IDC_VERSION))).c_str());
    return 0;
}
