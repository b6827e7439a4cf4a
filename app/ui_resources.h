#pragma once
#include <windows.h>

#include <string>

#include "resources/ui_text.h"

// Process-wide drawing values, set once on the UI thread before the window exists.
struct UiResources {
    HINSTANCE instance = nullptr;
    HFONT bodyFont = nullptr;
    HFONT titleFont = nullptr;
    UINT fontDpi = USER_DEFAULT_SCREEN_DPI;  // the DPI the two fonts are made for
    HBRUSH backgroundBrush = nullptr;
    HWND mainWindow = nullptr;
    std::wstring FontSettingsPath;
};

UiResources& Ui();

constexpr COLORREF kBackgroundColour = RGB(248, 249, 251);
constexpr const wchar_t* kWindowClassName = L"HollowmereLauncherWindow";

// Creates the fonts and the brush and computes FontSettingsPath from the stored
// install folder. Safe to call once per process; tests that build windows call it too.
void CreateUiResources(HINSTANCE instance);
void DestroyUiResources();

// Makes the two fonts anew for dpi, unless they are made for it already. Hands back the
// fonts they replace (none when nothing changed), for the caller to delete once no
// control uses them.
struct UiFonts {
    HFONT body = nullptr;
    HFONT title = nullptr;
};
UiFonts SetUiFontsForDpi(UINT dpi);
