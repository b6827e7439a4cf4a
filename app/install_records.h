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

// The worker's last word. Without it the window would stay busy for good, so a failed
// post (a message queue that is full, for instance) is retried every 100 ms for as long
// as the window exists. The record belongs to this call until a post succeeds; true
// then. False only when the window is gone, and the record is freed here.
bool DeliverInstallResult(HWND window, bool success, std::wstring message);

// Test seam: the function that posts the records (PostMessageW when null).
using InstallPostFunction = BOOL(WINAPI*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetInstallPostFunctionForTesting(InstallPostFunction post);
