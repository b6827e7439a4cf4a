#include "update/self_update.h"

#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/ui_text.h"
#include "net/download.h"
#include "state/launcher_config.h"
#include "update/launcher_signature.h"
#include "update/manifest_rules.h"
#include "update/pe_version.h"
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

constexpr const wchar_t* kNotVerifiedMessage =
    L"The launcher update could not be verified, so it was not installed. The launcher will go on with the current "
    L"version.";

// Set when the file the manifest names turned out not to be newer, or not the
// publisher's: it is not fetched again while this process runs.
bool g_offeredFileRefused = false;

// The file version of an executable's version resource as "major.minor.patch"; empty
// when the file has none, or none that reads whole within the file. Read as bytes, never
// loaded: the file came from the network, and what its headers claim is not trusted.
std::wstring FileVersionText(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string version, problem;
    if (file.bad() || !ReadExecutableVersion(bytes, version, problem)) return std::wstring();
    return std::wstring(version.begin(), version.end());  // digits and dots only
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

bool PlanSelfUpdate(HWND window, LauncherDownload& download) {
    if (!IsManifestLoaded() || g_offeredFileRefused) return false;
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

    // The completion could not replace this file: the new launcher would end without
    // starting anything, at every start.
    if (!OwnFileReplaceable(ownPath)) {
        WarnUpdateNotPossible(window, std::to_wstring(offered[0]) + L"." + std::to_wstring(offered[1]) + L"." +
                                          std::to_wstring(offered[2]));
        return false;
    }
    download.url = manifest.launcher_url;
    download.digest = manifest.launcher_sha256;
    download.file = std::wstring(temporaryFolder) + kUpdateFileName;
    return true;
}

bool HandOverToDownloadedLauncher(HWND window, const std::wstring& updateFile) {
    // A manifest that names a newer version over an older file would otherwise hand
    // over, restart this launcher and download again, for ever.
    if (!LauncherUpdateAvailable(FileVersionText(updateFile))) {
        g_offeredFileRefused = true;
        return false;
    }
    wchar_t ownPath[MAX_PATH] = {};
    const DWORD ownLength = GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
    if (ownLength == 0 || ownLength >= MAX_PATH) return false;
    // Whoever can change the manifest must not be able to run their program here.
    if (JudgeDownloadedLauncher(ownPath, updateFile) != HandOverVerdict::Allowed) {
        DeleteFileW(updateFile.c_str());
        g_offeredFileRefused = true;
        MessageBoxW(window, kNotVerifiedMessage, kLauncherCaption, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    // The own path stands in double quotes so a folder with spaces stays one argument.
    const std::wstring parameters =
        L"--self-update \"" + std::wstring(ownPath) + L"\" " + std::to_wstring(GetCurrentProcessId());
    const HINSTANCE started =
        ShellExecuteW(window, L"open", updateFile.c_str(), parameters.c_str(), nullptr, SW_HIDE);
    if (reinterpret_cast<INT_PTR>(started) <= 32) return false;
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
