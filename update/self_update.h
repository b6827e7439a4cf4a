#pragma once
#include <windows.h>

// Replaces the running launcher when the loaded manifest names a newer one. True only
// when the new launcher has been started and window destroyed; false in every other
// case (no update needed, or the update failed). Runs on the window's thread.
bool SelfUpdateIfNewer(HWND window);
