#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "install/install_client.h"
#include "install/powershell_quote.h"
#include "net/download.h"
#include "net/transfer_figures.h"
#include "play/client_interface.h"
#include "state/install_folder_lock.h"
#include "state/launcher_config.h"
#include "support/client_package.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "update/update_manifest.h"

// InstallClient in this process against the stand-in service and the PowerShell stand-in.

namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kExtractFailed = L"Windows could not extract the client package.";
constexpr const wchar_t* kNotPreserved = L"Could not preserve your settings files. Nothing was changed.";
constexpr const wchar_t* kNoMarker = L"Could not write the client version marker.";

using Report = std::pair<std::wstring, int>;
using Reports = std::vector<Report>;

std::wstring MarkerFile(const std::wstring& folder) { return folder + L"\\" + kClientVersionMarkerName; }
std::wstring PackageFile() { return LauncherDataFolder() + L"\\client.zip"; }

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// A small package carrying the package's own font file, and its options file only when asked.
std::string SmallPackage(bool withOptions) {
    std::vector<ZipEntry> entries = {{"Sarnhold-Elderline.exe", "MZ small test client"},
                                     {"SarnFont.ini", kPackageFont}};
    if (withOptions) {
        entries.push_back({"savedata/", ""});
        entries.push_back({"savedata/OptionInfo.lua", kPackageOptions});
    }
    return MakeStoredZip(entries);
}

class InstallClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ResetService()) << "the stand-in service does not answer";
        ResetLauncherDataFolder();
        ClearPowerShellCalls();
        LoadManifest();
    }
    void TearDown() override {
        ResetService();
        ResetLauncherDataFolder();
    }

    void LoadManifest() {
        std::wstring message;
        ASSERT_TRUE(FetchUpdateManifest(manifest, message)) << message;
    }

    bool Install(const std::wstring& folder) {
        reports.clear();
        message.clear();
        const ProgressCallback progress = [this](const wchar_t* text, int percent) {
            reports.emplace_back(text, percent);
        };
        return InstallClient(folder, manifest, message, progress);
    }

    static size_t PackageRequests() { return ServiceRequestsTo(kServedPackagePath).size(); }

    UpdateManifest manifest;
    std::wstring message;
    Reports reports;
    TempFolder temp;
};

TEST_F(InstallClientTest, FreshInstallReportsInOrderAndLeavesTheClientTheMarkerAndThePackage) {
    // Several levels deep, with a space and a single quote on the way.
    const std::wstring folder = temp / L"Tom's Games\\deep\\Sarnhold Client";
    ASSERT_TRUE(Install(folder)) << message;
    EXPECT_TRUE(message.empty());

    ASSERT_GE(reports.size(), 5u);
    EXPECT_EQ(reports.front(), Report(L"Downloading", 0));
    const size_t downloads = reports.size() - 3;
    for (size_t i = 0; i < downloads; ++i) {
        EXPECT_EQ(reports[i].first, L"Downloading");
        if (i > 0) {
            EXPECT_GE(reports[i].second, reports[i - 1].second);
        }
    }
    EXPECT_EQ(reports[downloads - 1], Report(L"Downloading", 100));
    EXPECT_EQ(Reports(reports.end() - 3, reports.end()),
              (Reports{{L"Verifying download", 100}, {L"Installing files", -1}, {L"Ready", 100}}));

    std::string package;
    ASSERT_TRUE(ReadServiceFile(kServedPackagePath, package));
    EXPECT_EQ(ReadFileBytes(PackageFile()), package);
    EXPECT_FALSE(FileExists(PackageFile() + L".download"));
    ExpectNoHoldingCopies();

    EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / kClientExecutableName));
    EXPECT_TRUE(StartsWith(ReadFileBytes(FontFileIn(folder)), kPackageFontMark));
    EXPECT_TRUE(StartsWith(ReadFileBytes(OptionsFileIn(folder)), kPackageOptionsMark));
    EXPECT_EQ(ReadFileBytes(MarkerFile(folder)), ServedClientVersion() + "\r\n");
    EXPECT_TRUE(IsClientCurrent(folder, manifest));
    EXPECT_EQ(ReadInstallPath(), folder);

    // PowerShell got the launcher's exact parameters, the quote in the folder doubled.
    const std::string calls = ReadPowerShellCalls();
    const std::string parameters = ToUtf8(BuildExpandArchiveParameters(PackageFile(), folder));
    EXPECT_NE(parameters.find("'" + ToUtf8(temp.path) + "\\Tom''s Games\\deep\\Sarnhold Client'"), std::string::npos);
    EXPECT_NE(calls.find(parameters + "\n"), std::string::npos) << calls;
}

TEST_F(InstallClientTest, PlayersFilesSurviveInstallAndRepairByteForByte) {
    PutPlayerFiles(temp.path);
    ASSERT_TRUE(Install(temp.path)) << message;
    ExpectPlayerFiles(temp.path);
    ExpectNoHoldingCopies();
    // A repair runs the same steps again, with the package fetched anew.
    ASSERT_TRUE(Install(temp.path)) << message;
    ExpectPlayerFiles(temp.path);
    ExpectNoHoldingCopies();
    EXPECT_EQ(PackageRequests(), 2u);

    // A package without "savedata" leaves the player's options where they are.
    ASSERT_TRUE(ServeClientPackage(SmallPackage(false), "2.0.0-no-savedata"));
    LoadManifest();
    ASSERT_TRUE(Install(temp.path)) << message;
    ExpectPlayerFiles(temp.path);
    EXPECT_EQ(ReadFileBytes(MarkerFile(temp.path)), "2.0.0-no-savedata\r\n");

    // Options held from an earlier attempt go back even where "savedata" must be made first.
    TempFolder fresh;
    ASSERT_TRUE(WriteFileBytes(GameOptionsHoldingPath(), kPlayerOptions));
    ASSERT_TRUE(Install(fresh.path)) << message;
    EXPECT_EQ(ReadFileBytes(OptionsFileIn(fresh.path)), kPlayerOptions);
    EXPECT_TRUE(StartsWith(ReadFileBytes(FontFileIn(fresh.path)), kPackageFontMark));
    ExpectNoHoldingCopies();

    // Nothing of the player's, nothing held: nothing is set aside or put back.
    TempFolder bare;
    ASSERT_TRUE(Install(bare.path)) << message;
    EXPECT_FALSE(FileExists(OptionsFileIn(bare.path)));
    ExpectNoHoldingCopies();
}

TEST_F(InstallClientTest, AFailedUnpackingNeverReadsAsCurrentAndGivesThePlayersFilesBack) {
    PutPlayerFiles(temp.path);
    ASSERT_TRUE(Install(temp.path)) << message;
    // A repair of the same version whose package unpacks the package's own settings files
    // before a damaged entry stops the unpacking.
    std::vector<ZipEntry> entries = {{"SarnFont.ini", std::string(kPackageFontMark) + "\r\n"},
                                     {"savedata/OptionInfo.lua", std::string(kPackageOptionsMark) + "\r\n"},
                                     {"Sarnhold-Elderline.exe", "MZ damaged", true}};
    ASSERT_TRUE(ServeClientPackage(MakeStoredZip(entries), ServedClientVersion()));
    LoadManifest();
    EXPECT_FALSE(Install(temp.path));
    EXPECT_EQ(message, kExtractFailed);
    EXPECT_EQ(reports.back(), Report(L"Installing files", -1));
    EXPECT_FALSE(IsClientCurrent(temp.path, manifest));
    ExpectPlayerFiles(temp.path);
    ExpectNoHoldingCopies();

    // Repair with a sound package.
    ASSERT_TRUE(ResetService());
    LoadManifest();
    ASSERT_TRUE(Install(temp.path)) << message;
    ExpectPlayerFiles(temp.path);
    ExpectNoHoldingCopies();
    EXPECT_TRUE(IsClientCurrent(temp.path, manifest));
}

class HeldFontTest : public InstallClientTest {
protected:
    // With the player's font held from an earlier attempt (by a launcher that kept no
    // record of its folder), installs a package without settings files while the game
    // holds the font file open without sharing: the copy back fails and the copy stays.
    bool InstallWhileTheFontIsLocked(const std::wstring& folder) {
        EXPECT_TRUE(WriteFileBytes(FontSettingsHoldingPath(), kPlayerFont));
        EXPECT_TRUE(WriteFileBytes(FontFileIn(folder), "; left by a broken unpacking\r\n"));
        HANDLE locked = CreateFileW(FontFileIn(folder).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(locked, INVALID_HANDLE_VALUE);
        const bool installed = Install(folder);
        CloseHandle(locked);
        return installed;
    }
    void ServeClientOnly() {
        ASSERT_TRUE(ServeClientPackage(MakeStoredZip({{"Sarnhold-Elderline.exe", "MZ client only"}}), "4.0.0"));
        LoadManifest();
    }
};

TEST_F(HeldFontTest, ACopyBackThatFailsIsReportedAndTheCopyGoesBackNextTime) {
    ServeClientOnly();
    EXPECT_FALSE(InstallWhileTheFontIsLocked(temp.path));
    EXPECT_EQ(message, L"Could not put back your settings file \"" + FontFileIn(temp.path) +
                           L"\". Your file is kept in the launcher's data folder as \"" + FontSettingsHoldingPath() +
                           L"\".");
    EXPECT_TRUE(IsClientCurrent(temp.path, manifest));  // installed all the same
    EXPECT_EQ(ReadFileBytes(FontSettingsHoldingPath()), kPlayerFont);
    ASSERT_TRUE(Install(temp.path)) << message;
    EXPECT_EQ(ReadFileBytes(FontFileIn(temp.path)), kPlayerFont);
    ExpectNoHoldingCopies();
}

TEST_F(HeldFontTest, HeldCopiesOfAnotherFolderGoHomeOrStayButNeverComeHere) {
    TempFolder others;
    const std::wstring home = others / L"Zoë Ωmega 游戏";
    for (bool homeExists : {true, false}) {
        SCOPED_TRACE(homeExists);
        const std::wstring here = temp / (homeExists ? L"Zoë Ωmega 游戏" : L"Zoë Ωmega 游戏 2");
        ServeClientOnly();
        ASSERT_FALSE(InstallWhileTheFontIsLocked(home));
        std::error_code ignored;
        fs::remove_all(homeExists ? FontFileIn(home) : home, ignored);

        ASSERT_TRUE(ResetService());
        LoadManifest();
        ASSERT_TRUE(Install(here)) << message;
        EXPECT_TRUE(StartsWith(ReadFileBytes(FontFileIn(here)), kPackageFontMark));
        EXPECT_EQ(ReadFileBytes(homeExists ? FontFileIn(home) : FontSettingsHoldingPath()), kPlayerFont);
    }
    // A font file of this folder has no place to wait while the other one stays.
    EXPECT_FALSE(Install(temp / L"Zoë Ωmega 游戏 2"));
    EXPECT_EQ(message.find(L"Could not set your settings file"), 0u);
}

TEST_F(InstallClientTest, ReadOnlyPlayersFilesGoBackReadOnlyAndLeaveNoHoldingCopy) {
    const std::wstring folder = temp / L"Zoë Ωmega 游戏";
    PutPlayerFiles(folder);
    // Left read-only beside a holding copy by a run killed while it copied.
    ASSERT_TRUE(WriteFileBytes(FontSettingsHoldingPath() + L".tmp", "half"));
    const std::wstring readOnly[] = {FontFileIn(folder), OptionsFileIn(folder), FontSettingsHoldingPath() + L".tmp"};
    for (const std::wstring& path : readOnly) ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(Install(folder)) << message;
    ExpectPlayerFiles(folder);
    ExpectNoHoldingCopies();
    EXPECT_FALSE(FileExists(readOnly[2]));
    for (const std::wstring& path : {readOnly[0], readOnly[1]}) {
        EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(InstallClientTest, APlayersFileThatCannotBeSetAsideStopsBeforeUnpacking) {
    PutPlayerFiles(temp.path);
    {
        // The game holds its options file open without sharing.
        HANDLE locked = CreateFileW(OptionsFileIn(temp.path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(locked, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(Install(temp.path));
        CloseHandle(locked);
    }
    EXPECT_EQ(message, kNotPreserved);
    EXPECT_EQ(reports.back(), Report(L"Verifying download", 100));
    EXPECT_EQ(ReadPowerShellCalls(), "");
    EXPECT_FALSE(FileExists(temp / kClientExecutableName));
    ExpectPlayerFiles(temp.path);
    ExpectNoHoldingCopies();  // the font file's copy, made first, is gone again

    // Something other than a file where the holding copy belongs.
    ASSERT_TRUE(CreateDirectoryW(FontSettingsHoldingPath().c_str(), nullptr));
    EXPECT_FALSE(Install(temp.path));
    EXPECT_EQ(message, kNotPreserved);
    EXPECT_EQ(ReadPowerShellCalls(), "");
    ExpectPlayerFiles(temp.path);
}

TEST_F(InstallClientTest, NothingIsDownloadedWhenTheInstallDriveIsShort) {
    // Q: holds 4 MiB (tests/small_drive.cmake); the package and its unpacked files take more.
    ASSERT_TRUE(ServeClientPackage(PackageWithFiller(5 * 1048576), "5.0.0-large"));
    LoadManifest();
    const std::wstring folder = L"Q:\\Hollowmere Sarnhold";
    EXPECT_FALSE(Install(folder));
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(message, L"There is not enough free space on drive Q: for this install. It needs " +
                           FormatByteSize(manifest.client_size, true) +
                           L" there, and 4.0 MB is free. Free some space and try again.");
    EXPECT_EQ(PackageRequests(), 0u);
    EXPECT_FALSE(FileExists(PackageFile() + L".download"));
}

TEST_F(InstallClientTest, FolderDownloadAndMarkerFailuresNameTheirReason) {
    ASSERT_TRUE(WriteFileBytes(temp / L"a-file", "x"));
    EXPECT_FALSE(Install(temp / L"a-file\\Sarnhold"));
    EXPECT_EQ(message, L"Could not create the selected installation folder.");
    EXPECT_TRUE(reports.empty());
    // A double quote would end the command text that PowerShell is given.
    EXPECT_FALSE(Install(temp / L"x\" ; Remove-Item -Recurse C:\\ ; \"y"));
    EXPECT_EQ(message, L"Could not create the selected installation folder.");
    EXPECT_EQ(PackageRequests(), 0u);

    // A download failure leaves held files alone.
    ASSERT_TRUE(WriteFileBytes(FontSettingsHoldingPath(), kPlayerFont));
    ASSERT_TRUE(AddServiceStatus(kServedPackagePath, 404, 1));
    EXPECT_FALSE(Install(temp.path));
    EXPECT_EQ(message, L"The client download was interrupted. Run the launcher again to resume.");
    EXPECT_EQ(ReadFileBytes(FontSettingsHoldingPath()), kPlayerFont);
    EXPECT_EQ(ReadPowerShellCalls(), "");

    // A marker that cannot be opened: installed, reported "Ready", yet a failure.
    ASSERT_TRUE(CreateDirectoryW(MarkerFile(temp.path).c_str(), nullptr));
    EXPECT_FALSE(Install(temp.path));
    EXPECT_EQ(message, kNoMarker);
    EXPECT_EQ(reports.back(), Report(L"Ready", 100));
    EXPECT_EQ(ReadFileBytes(FontFileIn(temp.path)), kPlayerFont);  // held copy put back first
    ExpectNoHoldingCopies();
    EXPECT_FALSE(IsClientCurrent(temp.path, manifest));

    // A marker whose bytes are refused only when the stream is closed (a full disk).
    const std::wstring fullDisk = BuildPath(L"test-data/full-disk-marker");
    EXPECT_FALSE(Install(fullDisk));
    EXPECT_EQ(message, kNoMarker);
    std::error_code ignored;
    for (const wchar_t* installed : {kClientExecutableName, kFontSettingsFileName, kGameOptionsFolderName})
        fs::remove_all(fs::path(fullDisk) / installed, ignored);
}

TEST_F(InstallClientTest, TheFolderIsLockedWhileThePlayersFilesAreAside) {
    PutPlayerFiles(temp.path);
    bool lockedWhileAside = false;
    const ProgressCallback probe = [&](const wchar_t* text, int) {
        // From another thread, as a settings save in another process would try it.
        if (std::wstring(text) == L"Installing files") {
            lockedWhileAside = !std::async(std::launch::async, [&] {
                                    InstallFolderLock lock;
                                    return LockInstallFolder(temp.path + L"\\", lock, 0);
                                }).get();
        }
    };
    ASSERT_TRUE(InstallClient(temp.path, manifest, message, probe)) << message;
    EXPECT_TRUE(lockedWhileAside);
}

}  // namespace
