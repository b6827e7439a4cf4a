#include "play/game_launch.h"

#include <shellapi.h>

#include "resources/ui_text.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"

std::wstring ParentFolderOf(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) return L".";
    return path.substr(0, last);
}

bool LaunchClient(HWND window, const wchar_t* arguments) {
    // The stored folder, used as it stands: the caller stored the folder box's text first.
    const std::wstring executable = ReadInstallPath() + L"\\" + kClientExecutableName;
    if (GetFileAttributesW(executable.c_str()) == INVALID_FILE_ATTRIBUTES) {
        MessageBoxW(window, L"Sarnhold is not installed yet. Use Install or Repair first.", kLauncherCaption,
                    MB_ICONERROR);
        return false;
    }
    const std::wstring workingFolder = ParentFolderOf(executable);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = window;
    info.lpVerb = L"open";
    info.lpFile = executable.c_str();
    info.lpParameters = arguments;
    info.lpDirectory = workingFolder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
        const DWORD error = GetLastError();
        const std::wstring message = L"Could not launch Sarnhold. Windows error: " + std::to_wstring(error);
        MessageBoxW(window, message.c_str(), kLauncherCaption, MB_ICONERROR);
        return false;
    }
    return true;
}
