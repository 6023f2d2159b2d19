// The shipped .exe in a real window under Wine, against lumek7-sim on COM3.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"
#include "ui_driver.h"

namespace {

const wchar_t OPEN_PORT[] = L"打开串口";
const wchar_t CLOSE_PORT[] = L"关闭串口";
const char QUERY_HEX[] = "4C 4D 4B 51 00 01 01 B0 00 00";

constexpr DWORD Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
    return a << 24 | b << 16 | c << 8 | d;
}

class UtilityTest : public ::testing::Test {
  protected:
    // Each test names the simulator's options; the default is its defaults.
    void StartWith(const std::string& simOptions) {
        ASSERT_TRUE(RestartSimulator(simOptions));
        ASSERT_TRUE(app.Start()) << "the main window did not appear";
    }
    void TearDown() override {
        Screenshot(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CloseSuccessBoxes();
        app.Stop();
    }

    HWND Item(int id) { return app.Item(id); }
    bool ApplyEnabled() { return IsWindowEnabled(Item(IDC_APPLY)) != FALSE; }
    int RateSelection() {
        return static_cast<int>(SendMessageW(Item(IDC_RATE_LIST), CB_GETCURSEL, 0, 0));
    }
    bool Blank(int id) { return SendMessageW(Item(id), IPM_ISBLANK, 0, 0) != 0; }

    void OpenPort() {
        SendMessageW(Item(IDC_PORT_LIST), CB_SETCURSEL, 0, 0);  // COM3
        Click(Item(IDC_PORT_BUTTON));
    }
    bool WaitForSettings() {
        return WaitFor([&] { return ApplyEnabled(); }, 3000);
    }
    static HWND SuccessBox() { return FindWindowW(L"#32770", L"标题"); }
    static void CloseSuccessBoxes() {
        for (int k = 0; k < 5; ++k) {
            HWND box = SuccessBox();
            if (box == nullptr)
                return;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            WaitFor([&] { return !IsWindow(box); }, 2000);
        }
    }
    // Sets what the user would type and pick, then presses Apply.
    void EditAndApply(int rate, DWORD ip, DWORD mask, DWORD gateway) {
        SendMessageW(Item(IDC_RATE_LIST), CB_SETCURSEL, static_cast<WPARAM>(rate), 0);
        SendMessageW(Item(IDC_IP_ADDRESS), IPM_SETADDRESS, 0, ip);
        SendMessageW(Item(IDC_SUBNET_MASK), IPM_SETADDRESS, 0, mask);
        SendMessageW(Item(IDC_GATEWAY), IPM_SETADDRESS, 0, gateway);
        Click(Item(IDC_APPLY));
    }
    std::vector<std::string> WaitForFrames(std::size_t n) {
        std::vector<std::string> frames;
        WaitFor(
            [&] {
                frames = FramesReceived();
                return frames.size() >= n;
            },
            3000);
        return frames;
    }

    App app;
};

TEST_F(UtilityTest, StartsWithEveryControlInItsInitialState) {
    StartWith("");
    EXPECT_EQ(Text(app.main), L"LUMEK-7设置工具V1.2");
    RECT window{};
    GetWindowRect(app.main, &window);
    EXPECT_EQ(window.left, 550);
    EXPECT_EQ(window.top, 180);
    EXPECT_EQ(window.right - window.left, 290);
    EXPECT_EQ(window.bottom - window.top, 360);
    const LONG style = GetWindowLongW(app.main, GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);

    // The port list holds the ports of the line, the first one chosen.
    HWND ports = Item(IDC_PORT_LIST);
    ASSERT_EQ(SendMessageW(ports, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(ports, CB_GETCURSEL, 0, 0), 0);
    const wchar_t* expectedPorts[] = {L"COM3", L"COM5", L"COM6"};
    for (int k = 0; k < 3; ++k) {
        wchar_t entry[32] = L"";
        SendMessageW(ports, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(entry));
        EXPECT_STREQ(entry, expectedPorts[k]);
    }
    // The rate list holds the five rates in index order, none chosen.
    HWND rates = Item(IDC_RATE_LIST);
    ASSERT_EQ(SendMessageW(rates, CB_GETCOUNT, 0, 0), 5);
    const wchar_t* expectedRates[] = {L"9600", L"19200", L"38400", L"57600", L"115200"};
    for (int k = 0; k < 5; ++k) {
        wchar_t entry[32] = L"";
        SendMessageW(rates, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(entry));
        EXPECT_STREQ(entry, expectedRates[k]);
    }
    EXPECT_EQ(RateSelection(), CB_ERR);
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_EQ(Text(Item(IDC_PORT_BUTTON)), OPEN_PORT);
    EXPECT_EQ(Text(Item(IDC_APPLY)), L"应用");
    EXPECT_EQ(Text(Item(IDC_VERSION)), L" ");
    for (int id : {IDC_IP_ADDRESS, IDC_SUBNET_MASK, IDC_GATEWAY})
        EXPECT_TRUE(Blank(id)) << id;
    // Nothing is sent before the port is opened.
    EXPECT_TRUE(FramesReceived().empty());
}

// With no serial port at all the list is empty, and pressing the button
// tries the bare device prefix and changes nothing.
TEST_F(UtilityTest, WithNoPortPresentTheListIsEmptyAndOpenChangesNothing) {
    struct LineBack {
        ~LineBack() { RunUnix(Env("LUMEK7_ROOT") + "/scripts/test-line start"); }
    } lineBack;
    ASSERT_EQ(RunUnix(Env("LUMEK7_ROOT") + "/scripts/test-line unplug"), 0);
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(SendMessageW(Item(IDC_PORT_LIST), CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(Text(Item(IDC_PORT_LIST)), L"");
    Click(Item(IDC_PORT_BUTTON));
    Sleep(300);
    EXPECT_EQ(Text(Item(IDC_PORT_BUTTON)), OPEN_PORT);
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_TRUE(IsWindow(app.main));
    app.Stop();
}

TEST_F(UtilityTest, DialogFitsTheWindowWithEveryControlInside) {
    StartWith("");
    RECT dialog{};
    GetWindowRect(app.dialog, &dialog);
    EXPECT_EQ(dialog.right - dialog.left, 284);
    EXPECT_EQ(dialog.bottom - dialog.top, 366);
    RECT client{};
    GetClientRect(app.main, &client);
    MapWindowPoints(app.main, nullptr, reinterpret_cast<POINT*>(&client), 2);
    EXPECT_EQ(dialog.left, client.left);
    EXPECT_EQ(dialog.top, client.top);
    for (int id : {IDC_PORT_LIST, IDC_PORT_BUTTON, IDC_APPLY, IDC_IP_ADDRESS, IDC_SUBNET_MASK,
                   IDC_GATEWAY, IDC_RATE_LIST, IDC_VERSION}) {
        RECT control{};
        GetWindowRect(Item(id), &control);
        EXPECT_GE(control.left, client.left) << id;
        EXPECT_GE(control.top, client.top) << id;
        EXPECT_LE(control.right, client.right) << id;
        EXPECT_LE(control.bottom, client.bottom) << id;
    }
}

// The exchange a technician makes, from start to end.
TEST_F(UtilityTest, OpenShowApplyAcknowledgeCloseReopen) {
    StartWith(
        "--selection 1,3,2 --ip 10.20.30.40 --mask 255.255.0.0 --gateway 10.20.0.1 "
        "--version LMK7-FW-3.1");
    OpenPort();
    ASSERT_TRUE(WaitForSettings());
    EXPECT_EQ(FramesReceived(), std::vector<std::string>{QUERY_HEX});
    EXPECT_EQ(Text(Item(IDC_PORT_BUTTON)), CLOSE_PORT);
    EXPECT_EQ(Text(Item(IDC_IP_ADDRESS)), L"10.20.30.40");
    EXPECT_EQ(Text(Item(IDC_SUBNET_MASK)), L"255.255.0.0");
    EXPECT_EQ(Text(Item(IDC_GATEWAY)), L"10.20.0.1");
    EXPECT_EQ(Text(Item(IDC_VERSION)), L"LMK7-FW-3.1");
    EXPECT_EQ(RateSelection(), 3);
    Screenshot("settings-shown");

    // The port list stays enabled while the port is open, and choosing
    // another entry changes nothing until the next open.
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_PORT_LIST)));
    SendMessageW(Item(IDC_PORT_LIST), CB_SETCURSEL, 1, 0);
    Sleep(150);
    EXPECT_EQ(Text(Item(IDC_PORT_BUTTON)), CLOSE_PORT);
    EXPECT_TRUE(ApplyEnabled());
    SendMessageW(Item(IDC_PORT_LIST), CB_SETCURSEL, 0, 0);

    EditAndApply(4, Ip(192, 168, 1, 195), Ip(255, 255, 255, 0), Ip(192, 168, 1, 1));
    ASSERT_TRUE(WaitFor([] { return SuccessBox() != nullptr; }, 3000)) << "no success box";
    const auto frames = WaitForFrames(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1],
              "4C 4D 4B 51 00 03 CE AB 00 0F 04 04 04 C3 01 A8 C0 00 FF FF FF 01 01 A8 C0");
    HWND box = SuccessBox();
    EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), L"参数设定成功！");
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    Screenshot("success-box");
    // The box has no owner, so the dialog stays usable while it is open:
    // the port can even be closed meanwhile.
    EXPECT_TRUE(IsWindowEnabled(app.dialog));
    Click(Item(IDC_PORT_BUTTON));
    ASSERT_TRUE(WaitFor([&] { return Text(Item(IDC_PORT_BUTTON)) == OPEN_PORT; }, 2000));
    EXPECT_NE(SuccessBox(), nullptr);
    CloseSuccessBoxes();
    EXPECT_EQ(SuccessBox(), nullptr);
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_EQ(RateSelection(), CB_ERR);
    EXPECT_EQ(Text(Item(IDC_VERSION)), L"");
    for (int id : {IDC_IP_ADDRESS, IDC_SUBNET_MASK, IDC_GATEWAY}) {
        EXPECT_TRUE(Blank(id)) << id;
        // Every octet's edit is empty, as a person sees it.
        HWND octet = nullptr;
        while ((octet = FindWindowExW(Item(id), octet, L"Edit", nullptr)) != nullptr) {
            EXPECT_EQ(Text(octet), L"") << id;
        }
    }
    Screenshot("closed");

    // Reopening asks again, and the device now reports what was set.
    OpenPort();
    ASSERT_TRUE(WaitForSettings());
    const auto again = FramesReceived();
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[2], QUERY_HEX);
    EXPECT_EQ(Text(Item(IDC_IP_ADDRESS)), L"192.168.1.195");
    EXPECT_EQ(Text(Item(IDC_SUBNET_MASK)), L"255.255.255.0");
    EXPECT_EQ(Text(Item(IDC_GATEWAY)), L"192.168.1.1");
    EXPECT_EQ(RateSelection(), 4);
}

TEST_F(UtilityTest, UnchangedApplyWritesTheShownRateIntoAllThreeSelectionBytes) {
    StartWith("--selection 1,3,2");
    OpenPort();
    ASSERT_TRUE(WaitForSettings());
    Click(Item(IDC_APPLY));
    const auto frames = WaitForFrames(2);
    ASSERT_EQ(frames.size(), 2u);
    // Bytes 10 to 12 of the frame: the three selection bytes.
    EXPECT_EQ(frames[1].substr(30, 8), "03 03 03");
}

TEST_F(UtilityTest, OutOfRangeRateLeavesNoSelectionAndApplySendsFF) {
    StartWith("--selection 1,7,2");
    OpenPort();
    ASSERT_TRUE(WaitForSettings());
    EXPECT_EQ(RateSelection(), CB_ERR);
    // A blank address goes out as zeros.
    SendMessageW(Item(IDC_GATEWAY), IPM_CLEARADDRESS, 0, 0);
    Click(Item(IDC_APPLY));
    const auto frames = WaitForFrames(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].substr(30, 8), "FF FF FF");
    EXPECT_EQ(frames[1].substr(frames[1].size() - 11), "00 00 00 00");
}

TEST_F(UtilityTest, ReplySplitAcrossACheckIsNotShown) {
    StartWith("--split 400");
    OpenPort();
    EXPECT_FALSE(WaitForSettings());
    EXPECT_FALSE(ApplyEnabled());
    for (int id : {IDC_IP_ADDRESS, IDC_SUBNET_MASK, IDC_GATEWAY})
        EXPECT_TRUE(Blank(id)) << id;
    EXPECT_EQ(FramesReceived(), std::vector<std::string>{QUERY_HEX});
}

TEST_F(UtilityTest, SilentOrCorruptDeviceShowsNothing) {
    for (const char* options : {"--silent", "--bad-crc", "--extra-frame"}) {
        StartWith(options);
        OpenPort();
        EXPECT_FALSE(WaitForSettings()) << options;
        EXPECT_TRUE(Blank(IDC_IP_ADDRESS)) << options;
        EXPECT_EQ(Text(Item(IDC_PORT_BUTTON)), CLOSE_PORT) << options;
        app.Stop();
    }
}

TEST_F(UtilityTest, GarbageOnTheLineLeavesTheWindowResponsive) {
    StartWith("--noise 700 --noise-every 15 --seed 11");
    OpenPort();
    const ULONGLONG end = GetTickCount64() + 3000;
    int asked = 0, answered = 0;
    while (GetTickCount64() < end) {
        DWORD_PTR result = 0;
        ++asked;
        if (SendMessageTimeoutW(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result)) {
            ++answered;
        }
        Sleep(50);
    }
    EXPECT_GE(asked, 5);
    EXPECT_EQ(answered, asked) << "the window stopped answering under the noise";
    EXPECT_EQ(WaitForSingleObject(app.Process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // Closing the port under the noise works. Noise that arrived after the
    // last check stays in the buffer and spoils the first check after the
    // next open, so the reply to that open may be lost; the open after that
    // starts clean and shows the settings.
    Click(Item(IDC_PORT_BUTTON));
    EXPECT_TRUE(WaitFor([&] { return Text(Item(IDC_PORT_BUTTON)) == OPEN_PORT; }, 2000));
    ASSERT_TRUE(RestartSimulator(""));
    bool shown = false;
    for (int attempt = 0; attempt < 2 && !shown; ++attempt) {
        if (Text(Item(IDC_PORT_BUTTON)) == CLOSE_PORT)
            Click(Item(IDC_PORT_BUTTON));
        WaitFor([&] { return Text(Item(IDC_PORT_BUTTON)) == OPEN_PORT; }, 2000);
        OpenPort();
        shown = WaitForSettings();
    }
    EXPECT_TRUE(shown);
}

TEST_F(UtilityTest, ClosingTheWindowEndsTheProcessWithCodeZero) {
    StartWith("");
    OpenPort();
    ASSERT_TRUE(WaitForSettings());
    HANDLE process = app.Process();
    PostMessageW(app.main, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(process, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
}

// A screenshot of the opened dialog shows the window, not a blank screen:
// read the pixels back from the screen where the dialog stands.
TEST_F(UtilityTest, ScreenshotShowsTheDialog) {
    StartWith("");
    OpenPort();
    ASSERT_TRUE(WaitForSettings());
    Sleep(200);
    RECT r{};
    GetWindowRect(app.dialog, &r);
    RECT client{};
    GetClientRect(app.main, &client);
    MapWindowPoints(app.main, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, client.left, client.top, SRCCOPY);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int faceCount = 0, darkCount = 0, whiteCount = 0;
    for (int y = 0; y < height; y += 2) {
        for (int x = 0; x < width; x += 2) {
            const COLORREF c = GetPixel(memory, x, y);
            if (c == face)
                ++faceCount;
            if (GetRValue(c) < 80 && GetGValue(c) < 80 && GetBValue(c) < 80)
                ++darkCount;
            if (c == RGB(255, 255, 255))
                ++whiteCount;
        }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const int samples = ((width + 1) / 2) * ((height + 1) / 2);
    EXPECT_GT(faceCount, samples / 2) << "the dialog's face colour should fill most of it";
    EXPECT_GT(darkCount, 200) << "text and frames should be drawn";
    EXPECT_GT(whiteCount, 500) << "the address fields should be drawn";
    Screenshot("dialog-opened");
}

}  // namespace

namespace {

// Keys go to the focused control, not to a dialog manager: Tab leaves the
// focus where it is, and Enter and Esc press no button.
TEST_F(UtilityTest, TabEnterAndEscAreNotDialogKeys) {
    StartWith("");
    SetForegroundWindow(app.main);
    const DWORD thread = GetWindowThreadProcessId(app.main, nullptr);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(WaitFor(
        [&] {
            return GetGUIThreadInfo(thread, &gui) && gui.hwndFocus != nullptr &&
                   GetForegroundWindow() == app.main;
        },
        3000))
        << "the utility never had the focus";
    const HWND focused = gui.hwndFocus;
    auto press = [](WORD key) {
        INPUT input[2]{};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wVk = input[1].ki.wVk = key;
        input[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof(INPUT));
    };
    for (WORD key : {WORD{VK_TAB}, WORD{VK_TAB}, WORD{VK_RETURN}, WORD{VK_ESCAPE}}) {
        press(key);
        Sleep(150);
        ASSERT_TRUE(GetGUIThreadInfo(thread, &gui));
        EXPECT_EQ(gui.hwndFocus, focused) << "key " << key;
    }
    // Nothing was pressed: the port is still closed and the window still up.
    EXPECT_EQ(Text(Item(IDC_PORT_BUTTON)), OPEN_PORT);
    EXPECT_TRUE(FramesReceived().empty());
    EXPECT_TRUE(IsWindow(app.main));
}

// The program's GBK texts display correctly only where the ANSI code page
// is 936; the prefix must give the utility that.
TEST(Environment, AnsiCodePageIs936) {
    EXPECT_EQ(GetACP(), 936u);
}

// The resources as the .exe carries them, read back through the loader.
TEST(Resources, LanguagesTemplateStringsIconsAndManifest) {
    const std::string exe = WindowsPath(Env("LUMEK7_EXE"));
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    EXPECT_EQ(chinese, 0x0804);
    EXPECT_EQ(english, 0x0409);

    HRSRC dialog =
        FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_SETTINGS), chinese);
    ASSERT_NE(dialog, nullptr);
    // DLGTEMPLATEEX: version 1, signature FFFF, help id, ex style, style,
    // item count, x, y, cx, cy.
    const auto* words = static_cast<const WORD*>(LockResource(LoadResource(module, dialog)));
    EXPECT_EQ(words[0], 1);
    EXPECT_EQ(words[1], 0xFFFF);
    DWORD style = 0;
    std::memcpy(&style, words + 6, sizeof style);
    EXPECT_EQ(style, 0x50000046u);
    EXPECT_EQ(words[8], 17) << "controls";
    EXPECT_EQ(static_cast<short>(words[11]), 189);
    EXPECT_EQ(static_cast<short>(words[12]), 244);

    // Strings 96 to 111 share block 7.
    EXPECT_NE(FindResourceExA(module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(7), chinese), nullptr);
    wchar_t text[100] = L"";
    LoadStringW(module, IDS_APP_TITLE, text, 100);
    EXPECT_STREQ(text, L"LUMEK-7设置工具V1.2");
    LoadStringW(module, IDS_WINDOW_CLASS, text, 100);
    EXPECT_STREQ(text, L"QORACLIENTSDK_DEMO");

    // Icon groups: one 48x48 image in 107, one 16x16 in 108.
    for (auto [id, size] : {std::pair<int, BYTE>{IDI_APP_LARGE, 48}, {IDI_APP_SMALL, 16}}) {
        HRSRC group = FindResourceExA(module, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(id), chinese);
        ASSERT_NE(group, nullptr) << id;
        const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
        EXPECT_EQ(bytes[4] | bytes[5] << 8, 1) << id;  // image count
        EXPECT_EQ(bytes[6], size) << id;
        EXPECT_EQ(bytes[7], size) << id;
    }

    HRSRC manifest = FindResourceExA(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), english);
    ASSERT_NE(manifest, nullptr);
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                          SizeofResource(module, manifest));
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(xml.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(xml.find("Common-Controls"), std::string::npos);
    FreeLibrary(module);
}

}  // namespace
