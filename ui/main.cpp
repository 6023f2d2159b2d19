// The process entry: load the title and class name, register the class,
// create the main window (which creates the settings dialog) and run the
// message loop. Messages do not go through IsDialogMessage: Tab does not
// move between the dialog's controls and Enter and Esc press no button.
#include <windows.h>
#include <commctrl.h>

#include "main_window.h"
#include "resource.h"

namespace {

constexpr DWORD MAIN_WINDOW_STYLE =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

// The dialog's IP address controls are created with the dialog, inside the
// main window's creation, so their class must be registered before then.
void RegisterAddressControlClass() {
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_INTERNET_CLASSES;
    InitCommonControlsEx(&classes);
}

int RunMessageLoop() {
    MSG message{};
    BOOL got;
    // GetMessageA returns -1 on an error: that ends the loop too, with 0.
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    char title[TEXT_CAPACITY] = "";
    char className[TEXT_CAPACITY] = "";
    LoadStringA(instance, IDS_APP_TITLE, title, TEXT_CAPACITY);
    LoadStringA(instance, IDS_WINDOW_CLASS, className, TEXT_CAPACITY);

    RegisterAddressControlClass();
    RegisterMainClass(instance, className);
    SetAppInstance(instance);

    HWND window = CreateWindowExA(0, className, title, MAIN_WINDOW_STYLE, 550, 180, 290, 360,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return RunMessageLoop();
}
