#pragma once
#include <windows.h>

#include <string>

// Starts the client executable in the stored install folder with the given arguments.
// True when Windows reports it started; otherwise shows its own error box (owned by
// window) and returns false.
bool LaunchClient(HWND window, const wchar_t* arguments);

// The text before the last backslash or slash; "." when there is none.
std::wstring ParentFolderOf(const std::wstring& path);
