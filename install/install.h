#pragma once
#include <windows.h>

// The main action (repair false) and Repair (repair true) of the main window. Runs on
// the window's thread. Plays instead when the main action finds the client current;
// otherwise asks, puts the window into its busy state and starts the install worker,
// which reports through WM_INSTALL_PROGRESS and WM_INSTALL_DONE.
void InstallOrRepairFromWindow(HWND window, bool repair);

