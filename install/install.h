#pragma once
#include <windows.h>

// The main action (repair false) and Repair (repair true) of the main window. Runs on
// the window's thread.
void InstallOrRepairFromWindow(HWND window, bool repair);
