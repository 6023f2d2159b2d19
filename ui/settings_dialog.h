// The settings dialog: pick and open a port, see the device's settings,
// edit and apply them.
#pragma once

#include <windows.h>

constexpr UINT_PTR POLL_TIMER_ID = 1;
constexpr UINT POLL_PERIOD_MS = 10;

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
