// The launcher's hand-over to a newer launcher, end to end: the old process downloads and
// starts the new one and ends; the new one replaces the old file and starts it again.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <vector>

#include "app/main_window.h"
#include "net/json_fields.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

namespace fs = std::filesystem;

const char* const kManifestPath = "/download/sarnhold/manifest.json";
const char* const kLauncherPath = "/download/sarnhold/HollowmereLauncher.exe";
const wchar_t* const kReady = L"Sarnhold is ready to install";

std::wstring TemporaryFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::wstring FileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (data.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) {
        return std::wstring();
    }
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(info->dwFileVersionLS));
}

class SelfUpdate : public ::testing::Test {
protected:
    TempFolder folder;
    std::wstring oldLauncher;
    std::string demoManifest;
    const std::string next = ReadFileBytes(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE);

    void SetUp() override {
        ASSERT_TRUE(ResetService());
        ResetLauncherDataFolder();
        fs::remove(TemporaryFile(L"HollowmereLauncher.update.exe"));
        fs::remove(TemporaryFile(L"HollowmereLauncher.update.exe.download"));
        fs::create_directories(folder / L"Old Launcher Folder");
        oldLauncher = folder / L"Old Launcher Folder\\HollowmereLauncher.exe";
        ASSERT_TRUE(fs::copy_file(HOLLOWMERE_TEST_LAUNCHER_EXE, oldLauncher));
        ASSERT_TRUE(ReadServiceFile(kManifestPath, demoManifest));
    }
    void TearDown() override {
        ResetService();
        ResetLauncherDataFolder();
    }

    // Serves the demo manifest with other launcher fields, naming the bytes' own digest.
    void OfferLauncher(const std::string& version, const std::string& bytes) {
        const std::wstring digest = Sha256OfBytes(bytes);
        OfferLauncher(version, bytes, std::string(digest.begin(), digest.end()));
    }
    void OfferLauncher(const std::string& version, const std::string& bytes, const std::string& digest) {
        std::string manifest = "{";
        for (const char* key : {"client_version", "client_url", "client_size", "client_sha256"}) {
            std::string value;
            ASSERT_TRUE(ExtractJsonString(demoManifest, key, value));
            manifest += std::string("\"") + key + "\":\"" + value + "\",";
        }
        const std::wstring url = ServiceTestUrl(kLauncherPath);
        manifest += "\"launcher_version\":\"" + version + "\",\"launcher_url\":\"" +
                    std::string(url.begin(), url.end()) + "\",\"launcher_sha256\":\"" + digest + "\"}";
        ASSERT_TRUE(ServeServiceFile(kManifestPath, manifest));
        ASSERT_TRUE(ServeServiceFile(kLauncherPath, bytes));
        ASSERT_TRUE(ClearServiceRequests());
    }

    // Starts the old launcher and expects its ordinary window, with no box on the way.
    void ExpectOrdinaryWindow(const wchar_t* screenshot) {
        LauncherRun run;
        HWND window = StartLauncherWindow(run, L"", oldLauncher);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), kReady);
        EXPECT_TRUE(NoMessageBoxFor(run.pid, 1000));
        SaveScreenshot(window, screenshot);
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }
    // The launcher cannot replace its own file: each newer version is named once in a
    // warning, nothing is downloaded, and the window opens as usual.
    void ExpectWarnedOncePerVersion() {
        for (const auto& row : {std::make_pair("2.0.5", true), std::make_pair("2.0.5", false),
                                std::make_pair("2.0.6", true)}) {
            SCOPED_TRACE(std::string(row.first) + (row.second ? " warns" : " is quiet"));
            OfferLauncher(row.first, next);
            if (!row.second) {
                ExpectOrdinaryWindow(L"self-update-cannot-replace");
            } else {
                LauncherRun run;
                ASSERT_TRUE(StartLauncher(L"", run, oldLauncher));
                MessageBoxSeen box;
                ASSERT_TRUE(WaitForMessageBox(run.pid, 30000, box));
                const std::string version = row.first;
                EXPECT_EQ(box.text, L"Launcher version " + std::wstring(version.begin(), version.end()) +
                                        L" is available, but this launcher cannot update itself because its "
                                        L"folder or its file cannot be written. To get the new version, "
                                        L"reinstall the launcher in a folder you can write to.");
                AnswerMessageBox(box.box, IDOK);
                HWND window = WaitForLauncherWindow(run.pid, 20000);
                ASSERT_NE(window, nullptr);
                EXPECT_EQ(ReadControlText(window, IDC_STATUS), kReady);
                EXPECT_EQ(CloseLauncher(window, run), 0u);
            }
            EXPECT_TRUE(ServiceRequestsTo(kLauncherPath).empty());
        }
        EXPECT_TRUE(OldLauncherUnchanged());
    }
    bool OldLauncherUnchanged() { return ReadFileBytes(oldLauncher) == ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE); }
};

TEST_F(SelfUpdate, SameOrOlderVersionDownloadsNothing) {
    for (const char* version : {"2.0.4", "2.0.3"}) {
        OfferLauncher(version, next);
        ExpectOrdinaryWindow(L"self-update-not-newer");
        EXPECT_TRUE(ServiceRequestsTo(kLauncherPath).empty()) << version;
    }
    EXPECT_TRUE(OldLauncherUnchanged());
}

TEST_F(SelfUpdate, HandsOverToTheNewerLauncherWhichReplacesAndRestartsTheOldFile) {
    ASSERT_EQ(FileVersionOf(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE), L"2.0.5");
    ASSERT_EQ(FileVersionOf(oldLauncher), L"2.0.4");
    OfferLauncher("2.0.5", next);
    // Slow enough to see the status line while the download runs.
    ASSERT_TRUE(AddServiceSlowdown(kLauncherPath, static_cast<long long>(next.size()) / 2));

    LauncherRun old;
    ASSERT_TRUE(StartLauncher(L"", old, oldLauncher));
    std::wstring statusSeen;
    WaitUntil(
        [&] {
            if (HWND window = FindLauncherWindow(old.pid)) statusSeen = ReadControlText(window, IDC_STATUS);
            return statusSeen == L"Updating launcher...";
        },
        10000);
    EXPECT_EQ(statusSeen, L"Updating launcher...");
    EXPECT_EQ(WaitForExit(old, 30000), 0u) << "the old launcher did not end after the hand-over";
    EXPECT_TRUE(ReadFileBytes(TemporaryFile(L"HollowmereLauncher.update.exe")) == next);

    // The new launcher waits for the old one, copies itself over it and starts it.
    DWORD restartedPid = 0;
    HWND restarted = WaitForLauncherWindowOfImage(oldLauncher, restartedPid, 30000);
    ASSERT_NE(restarted, nullptr) << "the replaced launcher was not started again";
    EXPECT_NE(restartedPid, old.pid);
    EXPECT_TRUE(ReadFileBytes(oldLauncher) == next) << "the old file was not replaced";
    EXPECT_EQ(FileVersionOf(oldLauncher), L"2.0.5");
    // The restarted launcher is the newest now: it opens its window and stays.
    EXPECT_EQ(WaitForControlText(restarted, IDC_STATUS, kReady, 10000), kReady);
    SaveScreenshot(restarted, L"self-update-handed-over");

    const std::vector<RecordedRequest> downloads = ServiceRequestsTo(kLauncherPath);
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_EQ(downloads[0].Header("User-Agent"), "Hollowmere-Sarnhold-Launcher/2.0");
    CloseLauncherOfProcess(restarted, restartedPid);
}

TEST_F(SelfUpdate, BadDigestWarnsThenOpensAndTheNextStartDownloadsAfresh) {
    for (const std::string& digest : {std::string(), std::string(64, '0')}) {
        OfferLauncher("2.1.0", next, digest);
        LauncherRun run;
        ASSERT_TRUE(StartLauncher(L"", run, oldLauncher));
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(run.pid, 30000, box));
        EXPECT_EQ(box.text, L"The downloaded client failed its security check.");
        AnswerMessageBox(box.box, IDOK);
        HWND window = WaitForLauncherWindow(run.pid, 20000);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), kReady);
        SaveScreenshot(window, L"self-update-bad-digest");
        EXPECT_EQ(CloseLauncher(window, run), 0u);

        // Bytes that failed the check are not kept, so each start fetches the file whole.
        const std::vector<RecordedRequest> downloads = ServiceRequestsTo(kLauncherPath);
        ASSERT_EQ(downloads.size(), 1u);
        EXPECT_FALSE(downloads[0].HasHeader("Range"));
        EXPECT_FALSE(FileExists(TemporaryFile(L"HollowmereLauncher.update.exe.download")));
    }
    EXPECT_TRUE(OldLauncherUnchanged());
}

TEST_F(SelfUpdate, AFileThatIsNotANewerLauncherIsFetchedOnceAndTheOldLauncherRunsQuietly) {
    // Bytes that are no program, and a publishing mistake: 2.0.5 named over a 2.0.4 file,
    // which must not be handed over to (it would update again at every start, for ever).
    for (const std::string& bytes : {std::string("these bytes are not a Windows program"),
                                     ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE)}) {
        OfferLauncher("2.0.5", bytes);
        ExpectOrdinaryWindow(L"self-update-not-newer-file");
        EXPECT_EQ(ServiceRequestsTo(kLauncherPath).size(), 1u);
    }
    EXPECT_TRUE(OldLauncherUnchanged());
}

TEST_F(SelfUpdate, AReadOnlyLauncherWarnsOncePerVersionAndOpens) {
    ASSERT_TRUE(SetFileAttributesW(oldLauncher.c_str(), FILE_ATTRIBUTE_READONLY));
    ExpectWarnedOncePerVersion();
    SetFileAttributesW(oldLauncher.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Root writes anywhere under Wine: tests/run-as-player.sh runs this one alone as an
// unprivileged user, with the launcher in a folder only root may write (launcher_tests
// leaves it out).
TEST_F(SelfUpdate, InAFolderThePlayerCannotWriteItWarnsOncePerVersionAndOpens) {
    oldLauncher = BuildPath(L"locked-launcher\\HollowmereLauncher.exe");
    ASSERT_FALSE(WriteFileBytes(BuildPath(L"locked-launcher\\probe"), "")) << "run by tests/run-as-player.sh";
    ExpectWarnedOncePerVersion();
}

}  // namespace
