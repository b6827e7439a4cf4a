#include "install/install.h"

#include <string>

#include "app/main_window.h"
#include "app/ui_resources.h"
#include "play/sign_in.h"
#include "state/launcher_config.h"
#include "update/update_manifest.h"

void InstallOrRepairFromWindow(HWND window, bool repair) {
    const std::wstring folder = ReadFolderBoxText();
    if (folder.empty()) {
        MessageBoxW(window, L"Choose an installation folder first.", kLauncherCaption, MB_ICONEXCLAMATION);
        return;
    }
    // Remembered before anything is asked, so a chosen folder survives a declined action.
    // Play reads the client's place back from here.
    WriteInstallPath(folder);
    if (!IsManifestLoaded() && !CheckForUpdates()) return;  // the status line tells why
    if (!repair && IsClientCurrent(folder, CurrentManifest())) {
        // The client has started: the launcher's work is done.
        if (SignInAndLaunch(window)) DestroyWindow(window);
        return;
    }
    // Installing on a worker thread starts here once that flow exists; until then the
    // press ends after the folder and the manifest are in place.
}
