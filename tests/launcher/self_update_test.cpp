// The launcher's hand-over to a newer launcher, end to end: the old process downloads and
// starts the new one and ends; the new one replaces the old file and starts it again.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <filesystem>
#include <string>

#include "app/main_window.h"
#include "support/clean_world.h"
#include "support/client_package.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

constexpr const char* kLauncherPath = "/download/sarnhold/HollowmereLauncher.exe";
constexpr const wchar_t* kReady = L"Sarnhold is ready to install";

class SelfUpdate : public ServiceWorld {
protected:
    std::wstring oldLauncher = folder / L"Old Launcher Folder\\HollowmereLauncher.exe";
    const std::string next = ReadFileBytes(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE);

    void SetUp() override {
        ServiceWorld::SetUp();
        std::filesystem::create_directories(std::filesystem::path(oldLauncher).parent_path());
        ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_LAUNCHER_EXE, oldLauncher.c_str(), FALSE));
    }
    // A wrong hand-over goes on starting launchers from these files, one after the other,
    // until the manifest offers nothing newer: after a failure, none may outlive the test.
    void TearDown() override {
        ResetService();
        for (int round = 0; HasFailure() && round < 30; ++round, Sleep(100)) {
            for (const std::wstring& image : {oldLauncher, TemporaryFile(L"HollowmereLauncher.update.exe")})
                EndProcessesOf(image);
        }
        ServiceWorld::TearDown();
    }
    static void EndProcessesOf(const std::wstring& image) {
        HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(all, &entry); more; more = Process32NextW(all, &entry)) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                         entry.th32ProcessID);
            wchar_t path[MAX_PATH * 2] = {};
            DWORD size = MAX_PATH * 2;
            std::error_code error;
            if (process && QueryFullProcessImageNameW(process, 0, path, &size) &&
                std::filesystem::equivalent(path, image, error))
                TerminateProcess(process, 99);
            if (process) CloseHandle(process);
        }
        CloseHandle(all);
    }

    // Offers bytes as this launcher version, beside the demo client, under their own digest.
    static void OfferLauncher(const std::string& version, const std::string& bytes) {
        std::string package;
        ASSERT_TRUE(ReadServiceFile(kServedPackagePath, package));
        ASSERT_TRUE(ServeServiceFile(kLauncherPath, bytes));
        ASSERT_TRUE(ServiceControl(
            "package?client_version=" + ServedClientVersion() + "&launcher_version=" + version, package));
    }
    static size_t LauncherDownloads() { return SeenByService(kLauncherPath).size(); }
    bool OldLauncherUnchanged() const {
        return ReadFileBytes(oldLauncher) == ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE);
    }

    // The launcher cannot replace its own file: each newer version is named once in a
    // warning, nothing is downloaded, and the window goes on as usual.
    void ExpectWarnedOncePerVersion() {
        for (const auto& row : {std::make_pair("2.0.5", true), std::make_pair("2.0.5", false),
                                std::make_pair("2.0.6", true)}) {
            const std::wstring version(row.first, row.first + 5);
            SCOPED_TRACE(std::string(row.first) + (row.second ? " warns" : " is quiet"));
            OfferLauncher(row.first, next);
            LauncherRun run;
            ASSERT_TRUE(StartLauncher(L"", run, oldLauncher));
            MessageBoxSeen box;
            if (row.second) {
                ASSERT_TRUE(WaitForMessageBox(run.pid, 30000, box));
                EXPECT_EQ(box.text, L"Launcher version " + version +
                                        L" is available, but this launcher cannot update itself because its "
                                        L"folder or its file cannot be written. To get the new version, "
                                        L"reinstall the launcher in a folder you can write to.");
                AnswerMessageBox(box.box, IDOK);
            }
            HWND window = WaitForLauncherWindow(run.pid, 20000);
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, 30000), kReady);
            EXPECT_TRUE(NoMessageBoxFor(run.pid, 0));  // a box would have come before the status
            EXPECT_EQ(CloseLauncher(window, run), 0u);
        }
        EXPECT_EQ(LauncherDownloads(), 0u);
        EXPECT_TRUE(OldLauncherUnchanged());
    }
};

// A manifest naming 2.0.5 over a 2.0.4 file would make each start update again, for
// ever: such a file is fetched once and not started. A newer one is handed over to, and
// takes the old file's place once nothing holds it any more (here a settings form opened
// from it, still open after the old launcher has ended).
TEST_F(SelfUpdate, HandsOverOnlyToANewerFileWhichReplacesTheOldOneOnceFreeAndRestartsIt) {
    OfferLauncher("2.0.5", ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE));
    {
        LauncherRun run;
        HWND window = StartLauncherWindow(run, L"", oldLauncher);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, 30000), kReady);
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }
    EXPECT_EQ(LauncherDownloads(), 1u);
    EXPECT_TRUE(OldLauncherUnchanged());

    OfferLauncher("2.0.5", next);
    LauncherRun form;
    HWND formWindow = StartLauncherWindow(form, L"--settings", oldLauncher);
    ASSERT_NE(formWindow, nullptr);
    LauncherRun old;
    ASSERT_TRUE(StartLauncher(L"", old, oldLauncher));
    EXPECT_EQ(WaitForExit(old, 30000), 0u) << "the old launcher did not hand over";
    EXPECT_TRUE(ReadFileBytes(TemporaryFile(L"HollowmereLauncher.update.exe")) == next);
    EXPECT_TRUE(WaitUntil([&] { return FileExists(oldLauncher + L".update-tmp"); }, 10000));
    EXPECT_EQ(CloseLauncher(formWindow, form), 0u);

    LauncherRun restarted;
    HWND window = WaitForLauncherOf(oldLauncher, 0, restarted);
    ASSERT_NE(window, nullptr) << "the replaced launcher was not started again";
    EXPECT_TRUE(ReadFileBytes(oldLauncher) == next) << "the old file was not replaced";
    EXPECT_FALSE(FileExists(oldLauncher + L".update-tmp"));
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, 10000), kReady);  // the newest stays
    EXPECT_EQ(LauncherDownloads(), 2u);
    EXPECT_EQ(CloseLauncher(window, restarted), 0u);
}

// A signed launcher hands over only to a launcher that Windows' check accepts and that
// was signed with its own publisher's key; anything else is deleted, named once, and the
// launcher opens as it is. (An unsigned launcher keeps to digest and version: above.)
TEST_F(SelfUpdate, ASignedLauncherHandsOverOnlyToItsOwnPublishersLauncher) {
    const std::wstring signedFiles = BuildPath(L"signed-launchers\\");
    const struct {
        const wchar_t* offered;
        bool handsOver;
        bool damaged;  // other bytes arrive than the manifest's digest names
    } cases[] = {
        {L"next-A.exe", true, false},
        {L"next-B.exe", false, false},  // the same name from the same authority, another key
        {L"next-launcher\\HollowmereLauncher.exe", false, false},  // unsigned
        {L"next-A-changed.exe", false, false},  // one byte changed after signing, the digest made to match
        {L"next-A.exe", false, true},  // named as the launcher's download, not the client's
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.offered) + (c.damaged ? " damaged" : ""));
        ASSERT_TRUE(ResetService());
        ASSERT_TRUE(CopyFileW((signedFiles + L"running-A.exe").c_str(), oldLauncher.c_str(), FALSE));
        const std::wstring offered = std::wstring(c.offered).find(L'\\') == std::wstring::npos
                                         ? signedFiles + c.offered
                                         : BuildPath(c.offered);
        const std::string bytes = ReadFileBytes(offered);
        ASSERT_FALSE(bytes.empty());
        OfferLauncher("2.0.5", bytes);
        ASSERT_TRUE(!c.damaged || AddScenario(kLauncherPath, "status=200&times=1", "not the launcher"));
        LauncherRun run;
        ASSERT_TRUE(StartLauncher(L"", run, oldLauncher));
        if (c.handsOver) {
            EXPECT_EQ(WaitForExit(run, 30000), 0u) << "the old launcher did not hand over";
            LauncherRun restarted;
            HWND window = WaitForLauncherOf(oldLauncher, 0, restarted);
            ASSERT_NE(window, nullptr);
            EXPECT_TRUE(ReadFileBytes(oldLauncher) == bytes);
            EXPECT_EQ(CloseLauncher(window, restarted), 0u);
            continue;
        }
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(run.pid, 30000, box));
        EXPECT_EQ(box.text, c.damaged ? L"The downloaded launcher update failed its security check."
                                      : L"The launcher update could not be verified, so it was not installed. The "
                                        L"launcher will go on with the current version.");
        AnswerMessageBox(box.box, IDOK);
        HWND window = WaitForLauncherWindow(run.pid, 20000);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, 30000), kReady);
        EXPECT_FALSE(FileExists(TemporaryFile(L"HollowmereLauncher.update.exe")));
        EXPECT_EQ(LauncherDownloads(), 1u);
        EXPECT_EQ(CloseLauncher(window, run), 0u);
        EXPECT_TRUE(ReadFileBytes(oldLauncher) == ReadFileBytes(signedFiles + L"running-A.exe"));
    }
}

TEST_F(SelfUpdate, TheCompletionExitsWith5OnATargetItCannotWrite) {
    const std::wstring target = folder / L"missing\\Launcher.exe";
    LauncherRun completion;
    ASSERT_TRUE(StartLauncher(L"--self-update \"" + target + L"\" 0", completion));
    EXPECT_EQ(WaitForExit(completion, 20000), 5u);
    EXPECT_FALSE(FileExists(target));
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
