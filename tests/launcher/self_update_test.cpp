// The launcher's hand-over to a newer launcher, end to end: the old process downloads and
// starts the new one and ends; the new one replaces the old file and starts it again.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <vector>

#include "app/main_window.h"
#include "net/download.h"
#include "net/json_fields.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

namespace fs = std::filesystem;

const char* const kManifestPath = "/download/sarnhold/manifest.json";
const char* const kLauncherPath = "/download/sarnhold/HollowmereLauncher.exe";

std::string Sha256Of(const std::string& bytes) {
    TempFolder folder;
    WriteFileBytes(folder / L"bytes", bytes);
    std::wstring digest;
    EXPECT_TRUE(Sha256OfFile(folder / L"bytes", digest));
    return std::string(digest.begin(), digest.end());
}

std::wstring TemporaryFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::wstring FileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::wstring();
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::wstring();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) return std::wstring();
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(info->dwFileVersionLS));
}

// The launcher window of the process, visible or not (it is hidden while being created).
HWND FindAnyLauncherWindow(DWORD pid) {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"HollowmereLauncherWindow", nullptr); window;
         window = FindWindowExW(nullptr, window, L"HollowmereLauncherWindow", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid) return window;
    }
    return nullptr;
}

class SelfUpdate : public ::testing::Test {
protected:
    TempFolder folder;
    std::wstring oldLauncher;
    std::string demoManifest;

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

    // Serves the demo manifest with other launcher fields.
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

    std::vector<RecordedRequest> LauncherDownloads() {
        std::vector<RecordedRequest> requests;
        EXPECT_TRUE(ReadServiceRequests(requests));
        std::vector<RecordedRequest> downloads;
        for (const RecordedRequest& request : requests) {
            if (request.target == kLauncherPath) downloads.push_back(request);
        }
        return downloads;
    }

    // Starts the old launcher and expects its ordinary window, with no box on the way.
    void ExpectOrdinaryWindow(const wchar_t* screenshot) {
        LauncherRun run;
        ASSERT_TRUE(StartLauncher(L"", run, oldLauncher));
        HWND window = WaitForLauncherWindow(run.pid, 20000);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Sarnhold is ready to install");
        EXPECT_TRUE(NoMessageBoxFor(run.pid, 1000));
        SaveScreenshot(window, screenshot);
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(run, 10000), 0u);
    }
};

TEST_F(SelfUpdate, SameOrOlderVersionDownloadsNothing) {
    const std::string next = ReadFileBytes(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE);
    for (const char* version : {"2.0.4", "2.0.3", "2.0"}) {
        OfferLauncher(version, next, Sha256Of(next));
        ExpectOrdinaryWindow(L"self-update-not-newer");
        EXPECT_TRUE(LauncherDownloads().empty()) << version;
    }
    EXPECT_TRUE(ReadFileBytes(oldLauncher) == ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE));
}

TEST_F(SelfUpdate, HandsOverToTheNewerLauncherWhichReplacesAndRestartsTheOldFile) {
    const std::string next = ReadFileBytes(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE);
    ASSERT_EQ(FileVersionOf(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE), L"2.0.5");
    ASSERT_EQ(FileVersionOf(oldLauncher), L"2.0.4");
    OfferLauncher("2.0.5", next, Sha256Of(next));
    // Slow enough to see the status line while the download runs.
    ServiceScenario slow;
    slow.path = kLauncherPath;
    slow.bytesPerSecond = static_cast<long long>(next.size()) / 2;
    ASSERT_TRUE(AddServiceScenario(slow));

    LauncherRun old;
    ASSERT_TRUE(StartLauncher(L"", old, oldLauncher));
    std::wstring statusSeen;
    for (int i = 0; i < 400 && statusSeen != L"Updating launcher..."; ++i, Sleep(25)) {
        if (HWND window = FindAnyLauncherWindow(old.pid)) statusSeen = ReadControlText(window, IDC_STATUS);
    }
    EXPECT_EQ(statusSeen, L"Updating launcher...");
    const DWORD oldExit = WaitForExit(old, 30000);
    if (oldExit == STILL_ACTIVE) {
        MessageBoxSeen box;
        if (WaitForMessageBox(old.pid, 100, box)) ADD_FAILURE() << "the old launcher shows: " << std::string(box.text.begin(), box.text.end());
    }
    EXPECT_EQ(oldExit, 0u) << "the old launcher did not end after the hand-over";
    EXPECT_TRUE(ReadFileBytes(TemporaryFile(L"HollowmereLauncher.update.exe")) == next);

    // The new launcher waits for the old one, copies itself over it and starts it.
    DWORD restartedPid = 0;
    HWND restarted = nullptr;
    for (int i = 0; i < 300 && !restarted; ++i, Sleep(100)) {
        restarted = FindLauncherWindowOfImage(oldLauncher, &restartedPid);
    }
    ASSERT_NE(restarted, nullptr) << "the replaced launcher was not started again";
    EXPECT_NE(restartedPid, old.pid);
    EXPECT_TRUE(ReadFileBytes(oldLauncher) == next) << "the old file was not replaced";
    EXPECT_EQ(FileVersionOf(oldLauncher), L"2.0.5");
    // The restarted launcher is the newest now: it opens its window and stays.
    EXPECT_EQ(WaitForControlText(restarted, IDC_STATUS, L"Sarnhold is ready to install", 10000),
              L"Sarnhold is ready to install");
    SaveScreenshot(restarted, L"self-update-handed-over");

    const std::vector<RecordedRequest> downloads = LauncherDownloads();
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_EQ(downloads[0].Header("User-Agent"), "Hollowmere-Sarnhold-Launcher/2.0");
    EXPECT_FALSE(downloads[0].HasHeader("Range"));

    PostMessageW(restarted, WM_CLOSE, 0, 0);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, restartedPid);
    if (process) {
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

TEST_F(SelfUpdate, BadDigestWarnsThenOpensAndTheNextStartDownloadsAfresh) {
    const std::string next = ReadFileBytes(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE);
    for (const std::string& digest : {std::string(), std::string(64, '0')}) {
        OfferLauncher("2.1.0", next, digest);
        LauncherRun run;
        ASSERT_TRUE(StartLauncher(L"", run, oldLauncher));
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(run.pid, 30000, box));
        EXPECT_EQ(box.caption, L"Hollowmere Launcher");
        EXPECT_EQ(box.text, L"The downloaded client failed its security check.");
        AnswerMessageBox(box.box, IDOK);
        HWND window = WaitForLauncherWindow(run.pid, 20000);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Sarnhold is ready to install");
        SaveScreenshot(window, L"self-update-bad-digest");
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(run, 10000), 0u);

        // Bytes that failed the check are not kept, so each start fetches the file whole.
        const std::vector<RecordedRequest> downloads = LauncherDownloads();
        ASSERT_EQ(downloads.size(), 1u);
        EXPECT_FALSE(downloads[0].HasHeader("Range"));
        EXPECT_FALSE(FileExists(TemporaryFile(L"HollowmereLauncher.update.exe.download")));
    }
    EXPECT_TRUE(ReadFileBytes(oldLauncher) == ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE));
}

TEST_F(SelfUpdate, AnUpdateThatCannotBeStartedLeavesTheOldLauncherRunningQuietly) {
    const std::string notAProgram = "these bytes are not a Windows program";
    OfferLauncher("3.0.0", notAProgram, Sha256Of(notAProgram));
    ExpectOrdinaryWindow(L"self-update-not-startable");
    EXPECT_EQ(LauncherDownloads().size(), 1u);
    EXPECT_TRUE(ReadFileBytes(oldLauncher) == ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE));
}

}  // namespace
