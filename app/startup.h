#pragma once
#include <windows.h>

#include <string>

// The whole life of the process: picks the mode from the command line and runs it.
// Returns the process exit code.
int RunLauncher(HINSTANCE instance, int showCommand);

// Last step of a self-update, run by the new launcher: waits up to 30 s for the old
// process, copies the running executable over target and starts it. 0, or 5 when the
// copy failed. Shows nothing.
int CompleteSelfUpdate(const std::wstring& target, const std::wstring& processIdText);

// Client-area sizes of the two window modes.
constexpr int kWindowClientWidth = 545;
constexpr int kMainClientHeight = 290;
constexpr int kSettingsClientHeight = 580;
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Creates the centred, fixed-size top-level window of the given client height.
HWND CreateLauncherWindow(HINSTANCE instance, int clientHeight);
// Registers the window class with the given procedure; false when that failed.
bool RegisterLauncherClass(HINSTANCE instance, WNDPROC procedure);
