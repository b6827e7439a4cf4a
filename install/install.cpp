#include "install/install.h"

#include <string>

#include "app/main_window.h"
#include "app/ui_resources.h"
#include "state/launcher_config.h"
#include "update/update_manifest.h"

void InstallOrRepairFromWindow(HWND window, bool repair) {
    const std::wstring folder = ReadFolderBoxText();
    if (folder.empty()) {
        MessageBoxW(window, L"Choose an installation folder first.", kLauncherCaption, MB_ICONEXCLAMATION);
        return;
    }
    // Remembered before anything is asked, so a chosen folder survives a declined action.
    WriteInstallPath(folder);
    if (!IsManifestLoaded() && !CheckForUpdates()) return;  // the status line tells why
    // Playing, and installing on a worker thread, start here once those flows exist;
    // until then the press ends after the folder and the manifest are in place.
}
