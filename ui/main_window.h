// The main window that hosts the settings dialog.
#pragma once

#include <windows.h>

constexpr int TEXT_CAPACITY = 100;

// The instance handle, kept where the window procedure can reach it: the
// dialog is created from inside the window's creation.
void SetAppInstance(HINSTANCE instance);
HINSTANCE AppInstance();

ATOM RegisterMainClass(HINSTANCE instance, const char* className);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
