#pragma once
#include <windows.h>

#include <string>

// Process-wide drawing values, set once on the UI thread before the window exists.
struct UiResources {
    HINSTANCE instance = nullptr;
    HFONT bodyFont = nullptr;
    HFONT titleFont = nullptr;
    HBRUSH backgroundBrush = nullptr;
    HWND mainWindow = nullptr;
    std::wstring FontSettingsPath;
};

UiResources& Ui();

constexpr COLORREF kBackgroundColour = RGB(248, 249, 251);
constexpr const wchar_t* kLauncherCaption = L"Hollowmere Launcher";
constexpr const wchar_t* kWindowClassName = L"HollowmereLauncherWindow";

// Creates the fonts and the brush and computes FontSettingsPath from the stored
// install folder. Safe to call once per process; tests that build windows call it too.
void CreateUiResources(HINSTANCE instance);
void DestroyUiResources();
