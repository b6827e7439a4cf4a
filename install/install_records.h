#pragma once
#include <windows.h>

#include <string>

// The records the install worker posts to the main window (WM_INSTALL_PROGRESS and
// WM_INSTALL_DONE). Each is allocated on the heap by the worker; once the post has
// succeeded it belongs to the window, which frees it after handling.

struct InstallProgress {
    std::wstring text;  // status text without the percentage
    int percent = -1;   // 0 to 100, or -1 when unknown (the bar then moves on its own)
};

struct InstallResult {
    bool success = false;
    std::wstring message;  // empty on success, the reason shown to the player otherwise
};

// Allocate a record and post it to window; when the post fails the record is freed
// here and false comes back (a lost progress report is harmless).
bool PostInstallProgress(HWND window, const std::wstring& text, int percent);
bool PostInstallResult(HWND window, bool success, std::wstring message);
