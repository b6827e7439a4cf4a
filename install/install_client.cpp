#include "install/install_client.h"

#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "install/free_space.h"
#include "install/powershell_quote.h"
#include "net/download.h"
#include "play/client_interface.h"
#include "state/file_replace.h"
#include "state/launcher_config.h"
#include "update/update_manifest.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kPackageFileName = L"client.zip";
constexpr const wchar_t* kFontHoldingFileName = L"SarnFont.user.ini";
constexpr const wchar_t* kOptionsHoldingFileName = L"OptionInfo.user.lua";

constexpr const wchar_t* kInstallingText = L"Installing files";
constexpr const wchar_t* kReadyText = L"Ready";

constexpr const wchar_t* kFolderMessage = L"Could not create the selected installation folder.";
constexpr const wchar_t* kPreserveMessage = L"Could not preserve your settings files. Nothing was changed.";
constexpr const wchar_t* kStartMessage = L"Could not start the client installer.";
constexpr const wchar_t* kExtractMessage = L"Windows could not extract the client package.";
constexpr const wchar_t* kMarkerMessage = L"Could not write the client version marker.";

// Owns a process handle from the shell.
struct ProcessHandle {
    HANDLE value = nullptr;
    ProcessHandle() = default;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    ~ProcessHandle() {
        if (value) CloseHandle(value);
    }
};

// A file of the player's that the package also carries, and where it waits in the data
// folder while the package is unpacked over it.
struct PlayerFile {
    fs::path installed;
    fs::path holding;
};

enum class Entry { Missing, File, Other };

Entry LookAt(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return Entry::Missing;
    if (!error && fs::is_regular_file(status)) return Entry::File;
    return Entry::Other;  // a folder, or something that cannot be looked at
}

// Without a data folder the bare name is used, relative to the current folder.
fs::path DataFolderFile(const wchar_t* name) { return fs::path(LauncherDataFolder()) / name; }

std::vector<PlayerFile> PlayerFilesOf(const std::wstring& folder) {
    const fs::path root(folder);
    return {{root / kFontSettingsFileName, DataFolderFile(kFontHoldingFileName)},
            {root / kGameOptionsFolderName / kGameOptionsFileName, DataFolderFile(kOptionsHoldingFileName)}};
}

// Copies from onto to through a file beside to that then takes its place, so a process
// killed half-way leaves to as it was or whole, never half-copied: a half holding copy
// would later go back over the player's file, and a half file put back would be what the
// client reads. With replace false an existing to is never touched.
bool CopyWhole(const fs::path& from, const fs::path& to, bool replace) {
    const std::wstring temporary = ReplacementFilePath(to.wstring());
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (CopyFileW(from.c_str(), temporary.c_str(), FALSE) && MoveFileExW(temporary.c_str(), to.c_str(), flags)) {
        return true;
    }
    DeleteFileW(temporary.c_str());
    return false;
}

// False when a file of the player's could not be copied aside; the holding copies made
// by this call are then removed again, so nothing has changed.
bool SetPlayerFilesAside(const std::vector<PlayerFile>& files) {
    std::vector<fs::path> made;
    bool kept = true;
    for (const PlayerFile& file : files) {
        const Entry holding = LookAt(file.holding);
        // A holding copy left by an attempt whose unpacking failed is the player's only
        // copy: the installed file may already be the package's own.
        if (holding == Entry::File) continue;
        if (holding == Entry::Other) {
            kept = false;
            break;
        }
        if (LookAt(file.installed) == Entry::Missing) continue;
        if (!CopyWhole(file.installed, file.holding, false)) {
            kept = false;
            break;
        }
        made.push_back(file.holding);
    }
    if (!kept) {
        for (const fs::path& holding : made) DeleteFileW(holding.c_str());
    }
    return kept;
}

void PutPlayerFilesBack(const std::vector<PlayerFile>& files) {
    for (const PlayerFile& file : files) {
        if (LookAt(file.holding) != Entry::File) continue;
        std::error_code ignored;
        fs::create_directories(file.installed.parent_path(), ignored);  // a package may lack "savedata"
        // Until the copy back has worked, the holding copy is the player's only copy; a
        // kept one goes back at the next install or repair.
        if (CopyWhole(file.holding, file.installed, true)) DeleteFileW(file.holding.c_str());
    }
}

bool RunExpandArchive(const std::wstring& package, const std::wstring& folder, std::wstring& message) {
    const std::wstring parameters = BuildExpandArchiveParameters(package, folder);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = L"powershell.exe";
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    const BOOL started = ShellExecuteExW(&info);
    ProcessHandle process;
    process.value = info.hProcess;
    if (!started || !process.value) {
        message = kStartMessage;
        return false;
    }
    WaitForSingleObject(process.value, INFINITE);
    DWORD exitCode = 1;  // a code that cannot be read counts as a failure
    if (!GetExitCodeProcess(process.value, &exitCode)) exitCode = 1;
    if (exitCode != 0) {
        message = kExtractMessage;
        return false;
    }
    return true;
}

// One line, one byte per character, as the installed-and-current test reads it back. A
// version that cannot be written that way would never match, so it counts as a failure.
bool WriteVersionMarker(const std::wstring& folder, const std::wstring& version) {
    std::string line;
    line.reserve(version.size());
    for (wchar_t c : version) {
        if (static_cast<unsigned>(c) > 0xFF) return false;
        line.push_back(static_cast<char>(c));
    }
    std::ofstream marker(fs::path(folder) / kClientVersionMarkerName, std::ios::out | std::ios::trunc);  // CR LF
    marker << line << '\n';
    // The bytes may reach the disk only when the stream is closed, so the close decides.
    marker.close();
    return !marker.fail();
}

void Report(const ProgressCallback& progress, const wchar_t* text, int percent) {
    if (progress) progress(text, percent);
}

}  // namespace

std::wstring FontSettingsHoldingPath() { return DataFolderFile(kFontHoldingFileName).wstring(); }
std::wstring GameOptionsHoldingPath() { return DataFolderFile(kOptionsHoldingFileName).wstring(); }

bool InstallClient(const std::wstring& folder, const UpdateManifest& manifest, std::wstring& message,
                   const ProgressCallback& progress) {
    std::error_code error;
    fs::create_directories(fs::path(folder), error);
    if (error) {
        message = kFolderMessage;
        return false;
    }
    // An earlier complete package is not reused: only an interrupted download resumes.
    const std::wstring package = DataFolderFile(kPackageFileName).wstring();
    // Nothing is fetched unless the package and its unpacked files will both fit.
    if (!CheckRoomForInstall(package, folder, manifest.client_size, message)) return false;
    if (!DownloadVerifiedFile(manifest.client_url, package, manifest.client_size, manifest.client_sha256, message,
                              progress)) {
        return false;
    }
    const std::vector<PlayerFile> playerFiles = PlayerFilesOf(folder);
    if (!SetPlayerFilesAside(playerFiles)) {
        message = kPreserveMessage;
        return false;
    }
    Report(progress, kInstallingText, -1);
    if (!RunExpandArchive(package, folder, message)) return false;
    PutPlayerFilesBack(playerFiles);
    const bool markerWritten = WriteVersionMarker(folder, manifest.client_version);
    WriteInstallPath(folder);
    Report(progress, kReadyText, 100);
    if (!markerWritten) {
        message = kMarkerMessage;
        return false;
    }
    return true;
}
