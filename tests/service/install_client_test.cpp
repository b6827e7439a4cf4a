#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "install/install_client.h"
#include "net/text_conversion.h"
#include "net/transfer_figures.h"
#include "play/client_interface.h"
#include "state/install_folder_lock.h"
#include "state/launcher_config.h"
#include "support/clean_world.h"
#include "support/client_package.h"
#include "support/service_control.h"
#include "update/update_manifest.h"

// InstallClient in this process against the stand-in service and the PowerShell stand-in.

namespace {

namespace fs = std::filesystem;

const wchar_t* const kNoMarker = L"Could not write the client version marker.";


class InstallClientTest : public ServiceWorld {
protected:
    void SetUp() override {
        ServiceWorld::SetUp();
        LoadManifest();
    }
    void LoadManifest() {
        std::wstring ignored;
        ASSERT_TRUE(FetchUpdateManifest(manifest, ignored));
    }
    bool Install(const std::wstring& where, const ProgressCallback& probe = {}) {
        message.clear();
        return InstallClient(where, manifest, message, probe);
    }
    void Serve(const std::vector<ZipEntry>& entries, const std::string& version) {
        ASSERT_TRUE(ServeClientPackage(MakeStoredZip(entries), version));
        LoadManifest();
    }

    UpdateManifest manifest;
    std::wstring message;
};

TEST_F(InstallClientTest, InstallAndRepairKeepThePlayersFilesByteForByte) {
    // Several levels deep, with a space and a single quote on the way.
    const std::wstring where = folder / L"Tom's Games\\deep\\Sarnhold Client";
    PutPlayerFiles(where);
    bool lockedWhileAside = false;
    // From another thread, as a settings save in another process would try it.
    const ProgressCallback probe = [&](const wchar_t* text, int) {
        if (std::wstring(text) != L"Installing files") return;
        lockedWhileAside = !std::async(std::launch::async, [&] {
                                InstallFolderLock lock;
                                return LockInstallFolder(where + L"\\", lock, 0);
                            }).get();
    };
    // Players mark their files read-only; a killed run may leave a read-only copy half made.
    const std::wstring readOnly[] = {FontFileIn(where), OptionsFileIn(where), FontSettingsHoldingPath() + L".tmp"};
    // A repair runs the same steps with the package kept from the install, checked first;
    // a kept package one byte off is fetched anew.
    std::vector<std::wstring> checked;
    for (int run = 1; run <= 3; ++run) {
        if (run == 2) {
            ASSERT_TRUE(WriteFileBytes(readOnly[2], "half"));
            for (const std::wstring& path : readOnly) ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        if (run == 3) {
            std::string kept = ReadFileBytes(LauncherDataFolder() + L"\\client.zip");
            kept[kept.size() / 2] ^= 1;
            ASSERT_TRUE(WriteFileBytes(LauncherDataFolder() + L"\\client.zip", kept));
        }
        lockedWhileAside = false;
        checked.clear();
        ASSERT_TRUE(Install(where, [&](const wchar_t* text, int percent) {
            if (std::wstring(text) == L"Checking the downloaded package") checked.push_back(text);
            probe(text, percent);
        })) << message;
        EXPECT_TRUE(lockedWhileAside);
        // The third fetches it whole at last (after finding nothing to fetch beside its
        // directory, and the result one byte off).
        EXPECT_EQ(SeenByService(kServedPackagePath, "Range").back(), "(none)");
        EXPECT_EQ(SeenByService(kServedPackagePath).size() > 1, run == 3);
        EXPECT_EQ(checked.empty(), run == 1);
        ExpectPlayerFiles(where);
        ExpectNoHoldingCopies();
        EXPECT_TRUE(IsClientCurrent(where, manifest));
        EXPECT_EQ(ReadInstallPath(), where);
    }
    EXPECT_FALSE(FileExists(readOnly[2]));
    for (const std::wstring& path : {readOnly[0], readOnly[1]}) {
        EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(InstallClientTest, AFailedUnpackingNeverReadsAsCurrentAndGivesThePlayersFilesBack) {
    PutPlayerFiles(folder.path);
    ASSERT_TRUE(Install(folder.path)) << message;
    // A repair of the same version whose package unpacks the package's own settings files
    // before a damaged entry stops the unpacking.
    Serve({{"SarnFont.ini", kPackageFont}, {"savedata/OptionInfo.lua", kPackageOptions},
           {"Sarnhold-Elderline.exe", "MZ damaged", true}}, ServedClientVersion());
    EXPECT_FALSE(Install(folder.path));
    EXPECT_EQ(message, L"Windows could not extract the client package.");
    EXPECT_FALSE(IsClientCurrent(folder.path, manifest));
    ExpectPlayerFiles(folder.path);
    ExpectNoHoldingCopies();
}

TEST_F(InstallClientTest, HeldCopiesOfAnotherFolderGoHomeOrStayButNeverComeHere) {
    // With the player's font held from an earlier attempt (by a launcher that kept no
    // record of its folder), a package without settings files is installed while the game
    // holds the font file open without sharing: the copy back fails and the copy stays.
    const std::wstring home = folder / L"Zoë Ωmega 游戏";
    Serve({{"Sarnhold-Elderline.exe", "MZ client only"}}, "4.0.0");
    ASSERT_TRUE(WriteFileBytes(FontSettingsHoldingPath(), kPlayerFont));
    ASSERT_TRUE(WriteFileBytes(FontFileIn(home), "; left by a broken unpacking\r\n"));
    HANDLE locked = CreateFileW(FontFileIn(home).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(Install(home));
    CloseHandle(locked);
    EXPECT_EQ(message, L"Could not put back your settings file \"" + FontFileIn(home) +
                           L"\". Your file is kept in the launcher's data folder as \"" + FontSettingsHoldingPath() +
                           L"\".");
    ASSERT_TRUE(ResetService());
    LoadManifest();
    // While its own folder is gone, the copy stays where it is.
    fs::remove_all(fs::path(home));
    ASSERT_TRUE(Install(folder / L"here")) << message;
    EXPECT_EQ(ReadFileBytes(FontFileIn(folder / L"here")).find(kPackageFontMark), 0u);
    EXPECT_EQ(ReadFileBytes(FontSettingsHoldingPath()), kPlayerFont);
    // A font file of this folder then has no place to wait.
    EXPECT_FALSE(Install(folder / L"here"));
    EXPECT_EQ(message.find(L"Could not set your settings file"), 0u);
    // Once its folder is back, the copy goes home.
    ASSERT_TRUE(CreateDirectoryW(home.c_str(), nullptr));
    ASSERT_TRUE(Install(folder / L"there")) << message;
    EXPECT_EQ(ReadFileBytes(FontFileIn(folder / L"there")).find(kPackageFontMark), 0u);
    EXPECT_EQ(ReadFileBytes(FontFileIn(home)), kPlayerFont);
    ExpectNoHoldingCopies();
}

TEST_F(InstallClientTest, APlayersFileThatCannotBeSetAsideStopsBeforeUnpacking) {
    PutPlayerFiles(folder.path);
    // The game holds its options file open without sharing.
    HANDLE locked = CreateFileW(OptionsFileIn(folder.path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(Install(folder.path));
    CloseHandle(locked);
    EXPECT_EQ(message, L"Could not preserve your settings files. Nothing was changed.");
    EXPECT_EQ(ReadPowerShellCalls(), "");
    ExpectPlayerFiles(folder.path);
    ExpectNoHoldingCopies();  // the font file's copy, made first, is gone again
}

TEST_F(InstallClientTest, NothingIsDownloadedWhenTheInstallDriveIsShort) {
    // Q: holds 4 MiB (tests/small_drive.cmake); the package and its unpacked files take more.
    ASSERT_TRUE(ServeClientPackage(PackageWithFiller(5 * 1048576), "5.0.0-large"));
    LoadManifest();
    EXPECT_FALSE(Install(L"Q:\\Hollowmere Sarnhold"));
    RemoveDirectoryW(L"Q:\\Hollowmere Sarnhold");
    EXPECT_EQ(message, L"There is not enough free space on drive Q: for this install. It needs " +
                           FormatByteSize(manifest.client_size, true) +
                           L" there, and 4.0 MB is free. Free some space and try again.");
    EXPECT_TRUE(SeenByService(kServedPackagePath).empty());
}

// A package the publisher got wrong, and a version outside ASCII: the marker is written
// only beside the client, as UTF-8, and reads back as the version it names.
TEST_F(InstallClientTest, OnlyAPackageWithTheClientIsMarkedAndItsVersionIsUtf8) {
    const struct {
        const char* version;
        const char* extra;  // the package's entry beside the font file
        const wchar_t* message;  // null: installed
    } cases[] = {
        {"1.0.1 \u2013 Frostfall", "Sarnhold-Elderline.exe", nullptr},
        {"1.0.2", "Sarnhold-Elderline.ex",
         L"The client package is damaged: it does not contain \"Sarnhold-Elderline.exe\". Please tell Hollowmere "
         L"support, and try again once a repaired package is published."},
        {"1.0.3", "../Sarnhold-Elderline.exe",
         L"The client package is damaged: it holds a file that would be written outside the installation folder, so "
         L"nothing was installed. Please tell Hollowmere support, and try again once a repaired package is published."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        Serve({{"SarnFont.ini", kPackageFont}, {c.extra, "MZ client"}}, c.version);
        const std::wstring where = folder / Utf8ToWide(c.version);
        ASSERT_TRUE(WriteFileBytes(where + L"\\Sarnhold-Elderline.exe", "MZ left by an earlier release"));
        ClearPowerShellCalls();
        EXPECT_EQ(Install(where), c.message == nullptr);
        EXPECT_EQ(ReadPowerShellCalls().empty(), c.message != nullptr);  // a damaged package is never unpacked
        EXPECT_EQ(message, c.message ? c.message : L"");
        EXPECT_EQ(FileExists(where + L"\\" + kClientVersionMarkerName), c.message == nullptr);
        if (!c.message) EXPECT_EQ(ReadFileBytes(where + L"\\" + kClientVersionMarkerName), std::string(c.version) + "\r\n");
        EXPECT_EQ(IsClientCurrent(where, manifest), c.message == nullptr);
    }
}

// A new release written from the package the last install kept: only what changed
// travels, by range requests, and whatever goes wrong ends in one whole download of the
// right package, without a box.
TEST_F(InstallClientTest, ANewReleaseIsWrittenFromTheKeptPackage) {
    std::vector<ZipEntry> first = {{"Sarnhold-Elderline.exe", "MZ client"}, {"SarnFont.ini", kPackageFont}};
    for (int i = 0; i < 8; ++i) first.push_back({"data/part" + std::to_string(i) + ".pak", std::string(150000, char('a' + i))});
    // Enough small files for a directory larger than the end read with it: fetched apart.
    for (int i = 0; i < 1100; ++i) first.push_back({"data/small/" + std::to_string(i) + ".txt", std::to_string(i)});
    std::vector<ZipEntry> second = first;
    second[5].bytes[70000] = '!';  // one byte of data/part3.pak, with its CRC-32
    second.erase(second.begin() + 7);
    second.push_back({"data/added.pak", std::string(20000, 'z')});
    std::uint64_t directory = 22;  // the end record, and a record per entry
    for (const ZipEntry& entry : second) directory += 46 + entry.name.size();
    const std::uint64_t update = 65633 + directory + 150100 + 20100;  // the end, the directory, the changes
    const std::string kept = MakeStoredZip(first), next = MakeStoredZip(second);
    const std::string next64 = MakeStoredZip(second, true);  // the same release, with zip64 end records
    const std::wstring keptPath = LauncherDataFolder() + L"\\client.zip";
    const auto fetched = [](size_t from) {  // bytes asked for since, a request without a range counting whole
        std::uint64_t bytes = 0;
        const std::vector<std::string> ranges = SeenByService(kServedPackagePath, "Range");
        for (const std::string& range : std::vector<std::string>(ranges.begin() + from, ranges.end())) {
            unsigned long long first = 0, last = 0;
            if (std::sscanf(range.c_str(), "bytes=%llu-%llu", &first, &last) == 2) bytes += last - first + 1;
            else bytes += 1u << 30;
        }
        return bytes;
    };
    const struct {
        const char* name;
        std::function<void()> spoil;  // after the second release is published
        std::uint64_t most;           // bytes asked for at most; 0: the whole package once
    } cases[] = {
        {"an update", [] {}, update},
        {"an update to a zip64 package", [] {}, update + 76},
        {"a kept entry damaged on disk", [&] {
             std::string bytes = ReadFileBytes(keptPath);
             bytes[bytes.find(std::string(1000, 'c')) + 10] = 'X';
             ASSERT_TRUE(WriteFileBytes(keptPath, bytes));
         }, 0},
        {"a server without ranges", [] { ASSERT_TRUE(AddScenario(kServedPackagePath, "ignore_range=1")); }, 0},
        {"a kept package that is no zip", [&] { ASSERT_TRUE(WriteFileBytes(keptPath, std::string(kept.size(), 'x'))); },
         0},
        {"a cut, then the next install",  // the end and the directory are read whole, the first changes cut
         [] {
             ASSERT_TRUE(AddScenario(kServedPackagePath, "delay_ms=0&times=2"));
             ASSERT_TRUE(AddScenario(kServedPackagePath, "cut_after=1000&times=1"));
         },
         update + 65633 + directory + 150100},  // the end, the directory and the cut range asked for twice
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService());
        Serve(first, "1.0.0");
        ASSERT_TRUE(Install(folder.path)) << ToUtf8(message);
        const bool zip64 = std::string(c.name).find("zip64") != std::string::npos;
        ASSERT_TRUE(ServeClientPackage(zip64 ? next64 : next, "1.1.0"));
        LoadManifest();
        // The question's figures, before the install: what the update really fetches.
        const DownloadEstimate estimate = EstimateClientDownload(manifest);
        EXPECT_LE(estimate.fetch, update);
        EXPECT_EQ(estimate.fetch + estimate.onComputer, (zip64 ? next64 : next).size());
        c.spoil();
        const size_t before = SeenByService(kServedPackagePath).size();
        bool installed = Install(folder.path);
        if (!installed) installed = Install(folder.path);  // what a player does after a cut line
        EXPECT_TRUE(installed) << ToUtf8(message);
        EXPECT_TRUE(ReadFileBytes(keptPath) == (zip64 ? next64 : next));
        EXPECT_EQ(ReadFileBytes(folder / L"data\\part3.pak"), second[5].bytes);
        EXPECT_EQ(ReadFileBytes(folder / L"data\\added.pak"), second.back().bytes);
        const std::vector<std::string> ranges = SeenByService(kServedPackagePath, "Range");
        const bool whole = std::count(ranges.begin() + before, ranges.end(), "(none)") > 0;
        EXPECT_EQ(whole, c.most == 0);
        if (c.most) EXPECT_LE(fetched(before), c.most) << "more than the changes travelled";
    }
}

TEST_F(InstallClientTest, FolderAndMarkerFailuresNameTheirReason) {
    ASSERT_TRUE(WriteFileBytes(folder / L"a-file", "x"));
    // A double quote would end the command text that PowerShell is given.
    for (const wchar_t* where : {L"a-file\\Sarnhold", L"x\" ; Remove-Item -Recurse C:\\ ; \"y"}) {
        EXPECT_FALSE(Install(folder / where));
        EXPECT_EQ(message, L"Could not create the selected installation folder.");
    }
    EXPECT_TRUE(SeenByService(kServedPackagePath).empty());

    // A marker that cannot be opened: installed, yet a failure.
    ASSERT_TRUE(CreateDirectoryW((folder / kClientVersionMarkerName).c_str(), nullptr));
    EXPECT_FALSE(Install(folder.path));
    EXPECT_EQ(message, kNoMarker);
    EXPECT_FALSE(IsClientCurrent(folder.path, manifest));

    // A marker whose bytes are refused only when the stream is closed (a full disk).
    const std::wstring fullDisk = BuildPath(L"test-data/full-disk-marker");
    EXPECT_FALSE(Install(fullDisk));
    EXPECT_EQ(message, kNoMarker);
    std::error_code ignored;
    for (const wchar_t* installed : {kClientExecutableName, kFontSettingsFileName, kGameOptionsFolderName})
        fs::remove_all(fs::path(fullDisk) / installed, ignored);
}

}  // namespace
