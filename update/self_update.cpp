#include "update/self_update.h"

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/ui_resources.h"
#include "net/download.h"
#include "state/launcher_config.h"
#include "update/manifest_rules.h"
#include "update/update_manifest.h"

namespace {

constexpr const wchar_t* kUpdateFileName = L"HollowmereLauncher.update.exe";
// The newer version the player was last told cannot be installed here ("launcher.ini").
constexpr const wchar_t* kIniSection = L"Launcher";
constexpr const wchar_t* kUpdateWarningKey = L"UpdateWarningShownFor";
// The new launcher goes to this file beside the old one before it takes the old one's place.
constexpr const wchar_t* kStagedSuffix = L".update-tmp";
constexpr DWORD kReplaceRetryMs = 250;
constexpr int kReplaceAttempts = 24;  // six seconds while the old file is still locked

bool g_handedOver = false;
// Set when the file the manifest names turned out not to be newer: it is not fetched
// again while this process runs.
bool g_offeredFileNotNewer = false;

// Owns a module loaded only for its resources.
struct DataModule {
    HMODULE handle = nullptr;
    ~DataModule() {
        if (handle) FreeLibrary(handle);
    }
};

// The file version of an executable's version resource as "major.minor.patch"; empty
// when the file has none. Read as data: nothing of the file runs.
std::wstring FileVersionText(const std::wstring& path) {
    DataModule module;
    module.handle = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module.handle) return std::wstring();
    HRSRC resource = FindResourceW(module.handle, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = resource ? LoadResource(module.handle, resource) : nullptr;
    const unsigned char* data = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    const DWORD size = resource ? SizeofResource(module.handle, resource) : 0;
    // The fixed part follows the resource's key on a 32-bit boundary; its signature finds it.
    for (DWORD at = 0; data && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, data + at, sizeof(info));
        if (info.dwSignature != VS_FFI_SIGNATURE) continue;
        return std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionMS)) +
               L"." + std::to_wstring(HIWORD(info.dwFileVersionLS));
    }
    return std::wstring();
}

// Whether this launcher could put a new file in its own place: the file is not
// read-only and its folder takes a new file (tried with one that goes when closed).
bool OwnFileReplaceable(const std::wstring& ownPath) {
    const DWORD attributes = GetFileAttributesW(ownPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    const std::wstring probe = ownPath + L"." + std::to_wstring(GetCurrentProcessId()) + L".write-test";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Tells the player once per newer version why it is not installed and how to get it.
void WarnUpdateNotPossible(HWND window, const std::wstring& version) {
    const std::wstring ini = LauncherIniPath();
    if (ini.empty()) return;
    wchar_t shown[64] = {};
    GetPrivateProfileStringW(kIniSection, kUpdateWarningKey, L"", shown, 64, ini.c_str());
    if (version == shown) return;
    const std::wstring text = L"Launcher version " + version +
                              L" is available, but this launcher cannot update itself because its folder or its "
                              L"file cannot be written. To get the new version, reinstall the launcher in a folder "
                              L"you can write to.";
    MessageBoxW(window, text.c_str(), kLauncherCaption, MB_OK | MB_ICONEXCLAMATION);
    WritePrivateProfileStringW(kIniSection, kUpdateWarningKey, version.c_str(), ini.c_str());
}

}  // namespace

bool HasHandedOverToNewLauncher() { return g_handedOver; }

bool SelfUpdateIfNewer(HWND window) {
    if (!IsManifestLoaded() || g_offeredFileNotNewer) return false;
    const UpdateManifest& manifest = CurrentManifest();
    int offered[3];
    if (!LauncherUpdateAvailable(manifest.launcher_version) ||
        !ParseLauncherVersion(manifest.launcher_version, offered))
        return false;

    wchar_t temporaryFolder[MAX_PATH] = {};
    wchar_t ownPath[MAX_PATH] = {};
    const DWORD folderLength = GetTempPathW(MAX_PATH, temporaryFolder);
    const DWORD ownLength = GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
    // A cut-off own path would make the new launcher copy itself over the wrong file.
    if (folderLength == 0 || folderLength >= MAX_PATH || ownLength == 0 || ownLength >= MAX_PATH) return false;
    const std::wstring updateFile = std::wstring(temporaryFolder) + kUpdateFileName;

    // The completion could not replace this file: the new launcher would end without
    // starting anything, at every start.
    if (!OwnFileReplaceable(ownPath)) {
        WarnUpdateNotPossible(window, std::to_wstring(offered[0]) + L"." + std::to_wstring(offered[1]) + L"." +
                                          std::to_wstring(offered[2]));
        return false;
    }

    SetStatusText(L"Updating launcher...");
    std::wstring message;
    if (!DownloadVerifiedFile(manifest.launcher_url, updateFile, 0, manifest.launcher_sha256, message,
                              ProgressCallback())) {
        MessageBoxW(window, message.c_str(), kLauncherCaption, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    // A manifest that names a newer version over an older file would otherwise hand
    // over, restart this launcher and download again, for ever.
    if (!LauncherUpdateAvailable(FileVersionText(updateFile))) {
        g_offeredFileNotNewer = true;
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

bool ReplaceLauncherFile(const std::wstring& source, const std::wstring& target) {
    // A copy straight over the target, cut off by a kill or a power loss, would leave
    // half a launcher; the whole file goes beside it first and then takes its place.
    const std::wstring staged = target + kStagedSuffix;
    if (!CopyFileW(source.c_str(), staged.c_str(), FALSE)) {
        DeleteFileW(staged.c_str());
        return false;
    }
    HANDLE file = CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    // The old launcher may still hold its file for a moment after its process ended.
    for (int attempt = 0; flushed && attempt < kReplaceAttempts; ++attempt) {
        if (MoveFileExW(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION) break;
        Sleep(kReplaceRetryMs);
    }
    DeleteFileW(staged.c_str());
    return false;
}
