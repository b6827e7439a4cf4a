#include "install/install_client.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "install/free_space.h"
#include "install/package_contents.h"
#include "install/package_plan.h"
#include "install/powershell_quote.h"
#include "net/download.h"
#include "play/client_interface.h"
#include "state/file_replace.h"
#include "state/install_folder_lock.h"
#include "state/kernel_handle.h"
#include "state/launcher_config.h"
#include "update/update_manifest.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kPackageFileName = L"client.zip";
constexpr const wchar_t* kFontHoldingFileName = L"SarnFont.user.ini";
constexpr const wchar_t* kOptionsHoldingFileName = L"OptionInfo.user.lua";
constexpr const wchar_t* kHoldingRecordSuffix = L".folder";

constexpr const wchar_t* kInstallingText = L"Installing files";
constexpr const wchar_t* kReadyText = L"Ready";

constexpr const wchar_t* kFolderMessage = L"Could not create the selected installation folder.";
constexpr const wchar_t* kPreserveMessage = L"Could not preserve your settings files. Nothing was changed.";
constexpr const wchar_t* kStartMessage = L"Could not start the client installer.";
constexpr const wchar_t* kExtractMessage = L"Windows could not extract the client package.";
constexpr const wchar_t* kMarkerMessage = L"Could not write the client version marker.";
constexpr const wchar_t* kMissingClientMessage =
    L"The client package is damaged: it does not contain \"Sarnhold-Elderline.exe\". Please tell Hollowmere "
    L"support, and try again once a repaired package is published.";
constexpr const wchar_t* kUnsafeNameMessage =
    L"The client package is damaged: it holds a file that would be written outside the installation folder, so "
    L"nothing was installed. Please tell Hollowmere support, and try again once a repaired package is published.";

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

// Players mark these files read-only to stop the game resetting them. A copy keeps the
// attribute, and a read-only file can be neither replaced nor deleted, so the launcher
// clears it on its own copies before it replaces or deletes them. Returns the old
// attributes (INVALID_FILE_ATTRIBUTES for a missing file).
DWORD MakeWritable(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    return attributes;
}

// True when the file is gone afterwards (also when it was never there).
bool RemoveFile(const fs::path& path) {
    MakeWritable(path);
    DeleteFileW(path.c_str());
    return LookAt(path) == Entry::Missing;
}

// Copies from onto to through a file beside to that then takes its place, so a process
// killed half-way leaves to as it was or whole, never half-copied: a half holding copy
// would later go back over the player's file, and a half file put back would be what the
// client reads. With replace false an existing to is never touched. The copy carries the
// read-only attribute of from, so the player's own attribute survives the round trip.
bool CopyWhole(const fs::path& from, const fs::path& to, bool replace) {
    const std::wstring temporary = ReplacementFilePath(to.wstring());
    MakeWritable(temporary);  // left by a killed run
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    const DWORD targetAttributes = replace ? MakeWritable(to) : INVALID_FILE_ATTRIBUTES;
    const DWORD fromAttributes = GetFileAttributesW(from.c_str());
    if (CopyFileW(from.c_str(), temporary.c_str(), FALSE)) {
        if (fromAttributes != INVALID_FILE_ATTRIBUTES && (fromAttributes & FILE_ATTRIBUTE_READONLY)) {
            SetFileAttributesW(temporary.c_str(), GetFileAttributesW(temporary.c_str()) | FILE_ATTRIBUTE_READONLY);
        }
        if (MoveFileExW(temporary.c_str(), to.c_str(), flags)) return true;
    }
    RemoveFile(temporary);
    if (targetAttributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(to.c_str(), targetAttributes);
    return false;
}

// Each holding copy names the install folder it came from in a small file beside it, so
// that it never goes back into another folder.
fs::path RecordOf(const fs::path& holding) { return holding.wstring() + kHoldingRecordSuffix; }

bool WriteRecord(const fs::path& holding, const std::wstring& folder) {
    return ReplaceFileContents(RecordOf(holding).wstring(),
                               std::string(reinterpret_cast<const char*>(folder.data()), folder.size() * sizeof(wchar_t)));
}

// The folder a holding copy came from; empty for a copy left by a launcher that kept no
// record, which is then taken as the folder's being installed, as it was then.
std::wstring ReadRecord(const fs::path& holding) {
    std::ifstream in(RecordOf(holding), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring folder(bytes.size() / sizeof(wchar_t), L'\0');
    if (!folder.empty()) std::memcpy(&folder[0], bytes.data(), folder.size() * sizeof(wchar_t));
    return folder;
}

bool SameFolder(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

std::wstring Quoted(const fs::path& path) { return L"\"" + path.wstring() + L"\""; }

// Puts one holding copy back and removes it with its record. False, with the reason in
// message, when the copy back or the removal failed; a copy that did not go back stays
// with its record, for the next install or repair of its folder.
bool PutBack(const PlayerFile& file, std::wstring& message) {
    std::error_code ignored;
    fs::create_directories(file.installed.parent_path(), ignored);  // a package may lack "savedata"
    // Until the copy back has worked, the holding copy is the player's only copy.
    if (!CopyWhole(file.holding, file.installed, true)) {
        message = L"Could not put back your settings file " + Quoted(file.installed) +
                  L". Your file is kept in the launcher's data folder as " + Quoted(file.holding) + L".";
        return false;
    }
    if (!RemoveFile(file.holding)) {
        message = L"Could not remove " + Quoted(file.holding) +
                  L" from the launcher's data folder. Delete it before the next install or repair, or it is put "
                  L"back over your settings file.";
        return false;
    }
    RemoveFile(RecordOf(file.holding));
    return true;
}

// A holding copy of another folder goes back there when that folder still exists; true
// when the holding place is free afterwards.
bool SendHomeIfPossible(size_t index, const std::wstring& home) {
    std::error_code error;
    if (!fs::is_directory(fs::path(home), error) || error) return false;
    std::wstring ignored;
    return PutBack(PlayerFilesOf(home)[index], ignored);
}

// Sets the player's files aside, or finds them held already from an attempt of this
// folder that did not end; mine tells which holding copies belong to this install. False
// with the reason in message when a file of the player's could not be held; the holding
// copies made by this call are then removed again, so nothing has changed.
bool SetPlayerFilesAside(const std::wstring& folder, const std::vector<PlayerFile>& files, std::vector<bool>& mine,
                         std::wstring& message) {
    mine.assign(files.size(), false);
    std::vector<fs::path> made;
    bool kept = true;
    for (size_t i = 0; i < files.size() && kept; ++i) {
        const PlayerFile& file = files[i];
        Entry holding = LookAt(file.holding);
        if (holding == Entry::File) {
            const std::wstring home = ReadRecord(file.holding);
            // Left by an attempt whose unpacking did not end well: the player's only copy,
            // since the installed file may already be the package's own.
            if (home.empty() || SameFolder(home, folder)) {
                if (home.empty()) WriteRecord(file.holding, folder);  // tied to this folder from now on
                mine[i] = true;
                continue;
            }
            if (SendHomeIfPossible(i, home)) holding = LookAt(file.holding);
        }
        if (holding == Entry::Other) {
            message = kPreserveMessage;
            kept = false;
            break;
        }
        if (LookAt(file.installed) == Entry::Missing) continue;
        if (holding == Entry::File) {
            // Its own folder is gone, so it stays where it is; this folder's file has no
            // place to wait in.
            message = L"Could not set your settings file " + Quoted(file.installed) +
                      L" aside: the launcher's data folder still keeps " + Quoted(file.holding) + L" from " +
                      Quoted(ReadRecord(file.holding)) + L". Move that file elsewhere and try again. Nothing was changed.";
            kept = false;
            break;
        }
        if (!WriteRecord(file.holding, folder) || !CopyWhole(file.installed, file.holding, false)) {
            RemoveFile(RecordOf(file.holding));
            message = kPreserveMessage;
            kept = false;
            break;
        }
        made.push_back(file.holding);
        mine[i] = true;
    }
    if (!kept) {
        for (const fs::path& holding : made) {
            RemoveFile(holding);
            RemoveFile(RecordOf(holding));
        }
        return false;
    }
    // The package's own version must be able to replace a read-only file; the player's
    // attribute comes back with the holding copy.
    for (size_t i = 0; i < files.size(); ++i) {
        if (mine[i]) MakeWritable(files[i].installed);
    }
    return true;
}

// Puts back every holding copy of this install; false with the first reason in message
// when one could not go back or be removed.
bool PutPlayerFilesBack(const std::vector<PlayerFile>& files, const std::vector<bool>& mine, std::wstring& message) {
    bool all = true;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!mine[i] || LookAt(files[i].holding) != Entry::File) continue;
        std::wstring reason;
        if (!PutBack(files[i], reason) && all) {
            message = reason;
            all = false;
        }
    }
    return all;
}

// Removed before unpacking, so a failed or killed unpacking never reads as current.
// Something other than a file there is no marker and never reads as current either.
bool RemoveVersionMarker(const std::wstring& folder) {
    const fs::path marker = fs::path(folder) / kClientVersionMarkerName;
    return LookAt(marker) != Entry::File || RemoveFile(marker);
}

// Puts the unpacking into a job that ends when its last handle closes, which is when
// this process ends at the latest: a PowerShell left running by a killed launcher would
// otherwise go on unpacking into the folder beside the next install. Null when the
// system refuses; the unpacking then simply runs on its own.
HANDLE EndWithThisProcess(HANDLE process) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits)) ||
        !AssignProcessToJobObject(job, process)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

bool RunExpandArchive(const std::wstring& package, const std::wstring& folder, std::wstring& message) {
    const std::wstring parameters = BuildExpandArchiveParameters(package, folder);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    // By its full path: the shell would look in the current folder first for a bare name.
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        message = kStartMessage;
        return false;
    }
    const std::wstring program = std::wstring(system) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    const BOOL started = ShellExecuteExW(&info);
    KernelHandle process;
    process.value = info.hProcess;
    if (!started || !process.value) {
        message = kStartMessage;
        return false;
    }
    KernelHandle job;
    job.value = EndWithThisProcess(process.value);
    WaitForSingleObject(process.value, INFINITE);
    DWORD exitCode = 1;  // a code that cannot be read counts as a failure
    if (!GetExitCodeProcess(process.value, &exitCode)) exitCode = 1;
    if (exitCode != 0) {
        message = kExtractMessage;
        return false;
    }
    return true;
}

// One line of UTF-8, as the installed-and-current test reads it back; an ASCII version
// is the same bytes as an older launcher wrote. A version that cannot be written that
// way would never match, so it counts as a failure.
bool WriteVersionMarker(const std::wstring& folder, const std::wstring& version) {
    std::string line;
    if (!version.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, version.data(),
                                             static_cast<int>(version.size()), nullptr, 0, nullptr, nullptr);
        if (size <= 0) return false;
        line.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, version.data(), static_cast<int>(version.size()), &line[0],
                            size, nullptr, nullptr);
    }
    std::ofstream marker(fs::path(folder) / kClientVersionMarkerName, std::ios::out | std::ios::trunc);  // CR LF
    marker << line << '\n';
    // The bytes may reach the disk only when the stream is closed, so the close decides.
    marker.close();
    return !marker.fail();
}

// False, with the player's message, for a package that cannot install: one whose
// directory cannot be read (the unpacking would fail the same way), one with a name that
// would be written outside the install folder, or one without the client (it would
// install "successfully" and read as not installed at once, so every start would
// download it again; in a repair an older client would stay beside the new files).
bool CheckPackageContents(const std::wstring& package, std::wstring& message) {
    std::vector<ZipDirectoryEntry> entries;
    std::string problem;
    if (!ReadPackageFileDirectory(fs::path(package), entries, problem)) {
        message = kExtractMessage;
        return false;
    }
    const PackageContents contents = DescribePackage(entries);
    if (contents.unsafeCount > 0) {
        message = kUnsafeNameMessage;
        return false;
    }
    if (!contents.hasClient) {
        message = kMissingClientMessage;
        return false;
    }
    return true;
}

void Report(const ProgressCallback& progress, const wchar_t* text, int percent) {
    if (progress) progress(text, percent);
}

}  // namespace

std::wstring FontSettingsHoldingPath() { return DataFolderFile(kFontHoldingFileName).wstring(); }
std::wstring GameOptionsHoldingPath() { return DataFolderFile(kOptionsHoldingFileName).wstring(); }
std::wstring HoldingRecordPath(const std::wstring& holding) { return RecordOf(holding).wstring(); }

// A plan to write this release from the package kept from another one: only when the
// kept package reads as a zip, the server answers ranges for the new one's end and its
// directory, and something can be reused. Nothing read here is trusted: the written
// package must still match the manifest's digest.
bool PlanFromKeptPackage(const std::wstring& package, const UpdateManifest& manifest, ReusePlan& plan) {
    std::vector<ZipDirectoryEntry> keptEntries, freshEntries;
    ZipDirectoryPlace keptPlace, freshPlace;
    std::string problem, tail, directory;
    const std::uint64_t size = manifest.client_size;
    if (size == 0 || !ReadPackageFileDirectory(fs::path(package), keptEntries, problem, &keptPlace)) return false;
    const std::uint64_t tailStart = size - std::min<std::uint64_t>(size, kZipTailBytes);
    if (FetchByteRange(manifest.client_url, tailStart, size - tailStart, tail) != RangeReply::Bytes ||
        !LocateZipDirectory(tail, size, freshPlace, problem))
        return false;
    if (freshPlace.offset >= tailStart) {
        directory = tail.substr(static_cast<std::size_t>(freshPlace.offset - tailStart),
                                static_cast<std::size_t>(freshPlace.size));
    } else if (FetchByteRange(manifest.client_url, freshPlace.offset, freshPlace.size, directory) != RangeReply::Bytes) {
        return false;
    }
    PackagePlan packagePlan;
    if (!ReadZipDirectory(directory, freshPlace, freshEntries, problem) ||
        !PlanPackageFromKept(keptEntries, keptPlace, freshEntries, freshPlace, size, packagePlan, problem) ||
        packagePlan.reusedBytes == 0)
        return false;
    plan.keptPath = package;
    plan.pieces = std::move(packagePlan.pieces);
    // The directory and the end records were fetched to make the plan: [directory, end).
    const std::uint64_t directoryEnd = freshPlace.offset + freshPlace.size;
    plan.knownFrom = freshPlace.offset;
    plan.knownEnd = freshPlace.offset >= tailStart
                        ? tail.substr(static_cast<std::size_t>(freshPlace.offset - tailStart))
                        : directory + tail.substr(static_cast<std::size_t>(directoryEnd - tailStart));
    plan.fetchedBytes = packagePlan.fetchedBytes - std::min(packagePlan.fetchedBytes, size - directoryEnd + freshPlace.size);
    return true;
}

DownloadEstimate EstimateClientDownload(const UpdateManifest& manifest) {
    const std::wstring package = DataFolderFile(kPackageFileName).wstring();
    const std::uint64_t size = manifest.client_size;
    DownloadEstimate estimate;
    std::error_code error;
    ReusePlan plan;
    if (size > 0 && fs::file_size(fs::path(package), error) == size && !error) {
        estimate.onComputer = size;
    } else if (PlanFromKeptPackage(package, manifest, plan)) {
        estimate.fetch = plan.fetchedBytes + plan.knownEnd.size();
        estimate.onComputer = size - std::min(size, estimate.fetch);
    } else {
        estimate.onComputer = std::min(size, ResumableBytes(package, size, manifest.client_sha256));
        estimate.fetch = size - estimate.onComputer;
    }
    return estimate;
}

bool StopInstallDownload(InstallControl& control) {
    int downloading = kInstallDownloading;
    if (!control.phase.compare_exchange_strong(downloading, kInstallStopped)) return false;
    control.stop = true;
    return true;
}

bool InstallClient(const std::wstring& folder, const UpdateManifest& manifest, std::wstring& message,
                   const ProgressCallback& progress, InstallControl* control) {
    std::error_code error;
    fs::create_directories(fs::path(folder), error);
    if (error) {
        message = kFolderMessage;
        return false;
    }
    // The package kept from an earlier install is used when it is this release's, byte
    // for byte: a repair of an intact install then fetches nothing.
    const std::wstring package = DataFolderFile(kPackageFileName).wstring();
    const std::atomic<bool>* stop = control ? &control->stop : nullptr;
    const bool kept = IsFileAlreadyDownloaded(package, manifest.client_size, manifest.client_sha256, progress, stop);
    if (stop && stop->load()) {
        message = kDownloadStoppedMessage;
        return false;
    }
    // Nothing is fetched unless the package and its unpacked files will both fit.
    if (!CheckRoomForInstall(package, folder, manifest.client_size, manifest.client_sha256, kept, message)) return false;
    DownloadControl download;
    download.stop = stop;
    // Another release kept here gives what the new one shares with it; only the rest
    // travels. Whatever goes wrong with that, the package is downloaded whole, once.
    ReusePlan plan;
    bool reuseFailed = false;
    if (!kept && PlanFromKeptPackage(package, manifest, plan)) {
        download.reuse = &plan;
        download.reuseFailed = &reuseFailed;
        if (control) control->fetchTotal = plan.fetchedBytes;
    }
    bool downloaded = kept || DownloadVerifiedFile(manifest.client_url, package, manifest.client_size,
                                                   manifest.client_sha256, message, progress, DownloadSubject::Client,
                                                   download);
    if (!downloaded && reuseFailed) {
        message.clear();
        download.reuse = nullptr;
        if (control) control->fetchTotal = 0;
        downloaded = DownloadVerifiedFile(manifest.client_url, package, manifest.client_size, manifest.client_sha256,
                                          message, progress, DownloadSubject::Client, download);
    }
    if (!downloaded) return false;
    // The package's own list, before anything in the folder changes: the publisher's
    // mistake is named, and nothing is unpacked.
    if (!CheckPackageContents(package, message)) return false;
    // From here on the folder changes, and the player's files go aside: no stopping.
    int downloading = kInstallDownloading;
    if (control && !control->phase.compare_exchange_strong(downloading, kInstallUnpacking)) {
        message = kDownloadStoppedMessage;
        return false;
    }
    const std::vector<PlayerFile> playerFiles = PlayerFilesOf(folder);
    // From set-aside to copy back the player's files are this install's: a settings save
    // for the folder is refused meanwhile (one under way is waited for).
    InstallFolderLock folderLock;
    if (!LockInstallFolder(folder, folderLock)) {
        message = kPreserveMessage;
        return false;
    }
    std::vector<bool> mine;
    if (!SetPlayerFilesAside(folder, playerFiles, mine, message)) return false;
    Report(progress, kInstallingText, -1);
    std::wstring putBackMessage;
    if (!RemoveVersionMarker(folder)) {
        PutPlayerFilesBack(playerFiles, mine, putBackMessage);
        message = kMarkerMessage;
        return false;
    }
    const bool unpacked = RunExpandArchive(package, folder, message);
    // Back also after a failed unpacking: the player's files are theirs, whatever the
    // state of the client around them. One that cannot go back waits for the next try.
    const bool allBack = PutPlayerFilesBack(playerFiles, mine, putBackMessage);
    folderLock.Release();
    if (!unpacked) return false;
    const bool markerWritten = WriteVersionMarker(folder, manifest.client_version);
    WriteInstallPath(folder);
    Report(progress, kReadyText, 100);
    if (!markerWritten) {
        message = kMarkerMessage;
        return false;
    }
    if (!allBack) {
        message = putBackMessage;
        return false;
    }
    return true;
}
