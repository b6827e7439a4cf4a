#pragma once
#include <windows.h>

// The settings form of "--settings" mode.
LRESULT CALLBACK SettingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
