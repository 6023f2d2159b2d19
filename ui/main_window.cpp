#include "main_window.h"

#include "resource.h"
#include "settings_dialog.h"

namespace {

HINSTANCE appInstance;

LRESULT OnCreate(HWND window) {
    // A failed dialog leaves an empty window that still runs until closed.
    CreateDialogParamA(appInstance, MAKEINTRESOURCEA(IDD_SETTINGS), window, SettingsDlgProc, 0);
    return 0;
}

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
}

}  // namespace

void SetAppInstance(HINSTANCE instance) {
    appInstance = instance;
}

HINSTANCE AppInstance() {
    return appInstance;
}

ATOM RegisterMainClass(HINSTANCE instance, const char* className) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP_LARGE));
    // The small icon at the small size, not the large size scaled down.
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP_SMALL), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = className;
    return RegisterClassExA(&windowClass);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window);
        case WM_PAINT:
            return OnPaint(window);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
