#include "update/self_update.h"

#include <shellapi.h>

#include <string>

#include "app/main_window.h"
#include "app/ui_resources.h"
#include "net/download.h"
#include "update/update_manifest.h"

namespace {

constexpr const wchar_t* kUpdateFileName = L"HollowmereLauncher.update.exe";

bool g_handedOver = false;

}  // namespace

bool HasHandedOverToNewLauncher() { return g_handedOver; }

bool SelfUpdateIfNewer(HWND window) {
    if (!IsManifestLoaded()) return false;
    const UpdateManifest& manifest = CurrentManifest();
    if (!LauncherUpdateAvailable(manifest.launcher_version)) return false;

    wchar_t temporaryFolder[MAX_PATH] = {};
    wchar_t ownPath[MAX_PATH] = {};
    const DWORD folderLength = GetTempPathW(MAX_PATH, temporaryFolder);
    const DWORD ownLength = GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
    // A cut-off own path would make the new launcher copy itself over the wrong file.
    if (folderLength == 0 || folderLength >= MAX_PATH || ownLength == 0 || ownLength >= MAX_PATH) return false;
    const std::wstring updateFile = std::wstring(temporaryFolder) + kUpdateFileName;

    SetStatusText(L"Updating launcher...");
    std::wstring message;
    if (!DownloadVerifiedFile(manifest.launcher_url, updateFile, 0, manifest.launcher_sha256, message,
                              ProgressCallback())) {
        MessageBoxW(window, message.c_str(), kLauncherCaption, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    // The own path stands in double quotes so a folder with spaces stays one argument.
    const std::wstring parameters =
        L"--self-update \"" + std::wstring(ownPath) + L"\" " + std::to_wstring(GetCurrentProcessId());
    const HINSTANCE started =
        ShellExecuteW(window, L"open", updateFile.c_str(), parameters.c_str(), nullptr, SW_HIDE);
    if (reinterpret_cast<INT_PTR>(started) <= 32) return false;
    g_handedOver = true;
    DestroyWindow(window);
    return true;
}
