#pragma once
#include <windows.h>

#include "app/main_window.h"

// What the main window does on the player's clicks and its workers' reports; all on the
// window's thread.

// The main action (repair false) and Repair (repair true): plays when the main action
// finds the client current; otherwise checks for updates again, then asks, and installs
// on a worker that reports through WM_INSTALL_PROGRESS and WM_INSTALL_DONE.
void InstallOrRepairFromWindow(HWND window, bool repair);

// The main action while a worker runs: stops it where it can be stopped.
void CancelWindowWork(HWND window);

// Starts the update check; what follows it is the window's afterCheck.
void BeginUpdateCheck(HWND window, AfterCheck after);

// The workers' reports (lParam as posted).
void OnManifestChecked(HWND window, LPARAM lParam);
void OnLauncherProgress(LPARAM lParam);
void OnLauncherDownloaded(HWND window, LPARAM lParam);
void OnSignInAnswered(HWND window, LPARAM lParam);
void OnInstallDone(HWND window, LPARAM lParam);

// WM_CLOSE: true when the window may go now. A download asks first; an unpacking refuses.
bool MayCloseMainWindow(HWND window);
