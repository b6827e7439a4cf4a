#pragma once
#include <windows.h>

// Both windows are laid out in pixels at 96 DPI (100 % display scaling). These scale a
// window, its controls and the UI fonts to the DPI of the monitor it is on.

// The window's DPI: GetDpiForWindow where Windows has it (10, version 1607 on), else the
// system's DPI.
UINT WindowDpi(HWND window);

// A length of the 96-DPI layout at dpi, rounded to the nearest pixel.
int ScaleToDpi(int length, UINT dpi);

// Lays the window out for dpi: the client area, every direct child's rectangle and the
// two UI fonts, all scaled from the 96-DPI sizes they had when this was first called
// (so call it once the controls exist, before anything has moved them). The window
// keeps its centre, or takes suggested (the rectangle WM_DPICHANGED proposes).
// At 96 DPI nothing changes.
void LayOutForDpi(HWND window, UINT dpi, const RECT* suggested = nullptr);
