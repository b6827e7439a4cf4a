#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "app/main_window.h"
#include "net/download.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/clean_world.h"
#include "support/client_package.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// The real window while it waits on a slow service: it shows, answers, lets a second
// start bring it forward, and stops at Cancel with nothing sent after and nothing left
// that the next start cannot use.

namespace {

constexpr const char* kLauncherPath = "/download/sarnhold/HollowmereLauncher.exe";
constexpr const char* kRedeemPath = "/api/launcher/redeem";

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
}

class ResponsiveWindow : public ServiceWorld {
protected:
    // The launcher of this test, in a folder of its own, so its own update may replace it.
    std::wstring launcher = folder / L"Launcher\\HollowmereLauncher.exe";
    void SetUp() override {
        ServiceWorld::SetUp();
        CreateDirectoryW((folder / L"Launcher").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_LAUNCHER_EXE, launcher.c_str(), FALSE));
        ASSERT_TRUE(WriteInstallPath(folder / L"Sarnhold"));
    }
    // A second start finds the first launcher busy: it ends and brings the window back
    // from the taskbar.
    static void ExpectSecondStartBringsForward(HWND window) {
        ShowWindow(window, SW_MINIMIZE);
        ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, 5000));
        LauncherRun second;
        ASSERT_TRUE(StartLauncher(L"", second));
        EXPECT_EQ(WaitForExit(second, 20000), 0u);
        EXPECT_TRUE(WaitUntil([&] { return IsIconic(window) == FALSE; }, 5000));
    }
};

TEST_F(ResponsiveWindow, EachWaitShowsAnswersAndStopsAtCancel) {
    const std::string package = PackageWithFiller(8 << 20);
    ASSERT_TRUE(WriteFileBytes(folder / L"Sarnhold\\Sarnhold-Elderline.exe", "MZ"));
    const std::string launcherBytes = ReadFileBytes(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE);
    const struct {
        const char* name;
        std::function<void()> arrange;  // the service and files before the start
        int button, answer;  // the click that begins the wait, and the box it asks (0: none)
        const wchar_t* ready;  // the status the click is made from
        const wchar_t *waiting, *afterCancel;  // status texts (the waiting one as a prefix)
        std::string path;  // the requests that must stop
    } cases[] = {
        {"slow manifest", [] { ASSERT_TRUE(AddScenario(kServedManifestPath, "rate=20&times=1")); }, 0, 0, nullptr,
         L"Checking for updates...", nullptr, kServedManifestPath},
        {"slow launcher download",
         [&] {
             ASSERT_TRUE(ServeServiceFile(kLauncherPath, launcherBytes));
             ASSERT_TRUE(ServiceControl("package?client_version=1.0.0&launcher_version=2.0.5", package));
             ASSERT_TRUE(AddScenario(kLauncherPath, "rate=20000&times=1"));
         },
         0, 0, nullptr, L"Updating launcher", L"Sarnhold is ready to install", kLauncherPath},
        {"browser sign-in",
         [&] {
             ASSERT_TRUE(ServiceControl("signin/pending?count=1000000"));
             ASSERT_TRUE(WriteFileBytes(folder / L"Sarnhold\\.hollowmere-version", ServedClientVersion() + "\r\n"));
         },
         IDC_MAIN_ACTION, IDOK, L"Client up to date", L"Waiting for you to sign in in your browser...", L"Client up to date", kRedeemPath},
        {"package download",
         [&] {
             ASSERT_TRUE(ServeClientPackage(package, "1.1.0"));
             ASSERT_TRUE(AddScenario(kServedPackagePath, "rate=20000&times=1"));
         },
         IDC_MAIN_ACTION, IDYES, L"Sarnhold is ready to install", L"Downloading", L"Sarnhold is ready to install", kServedPackagePath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService());
        c.arrange();
        LauncherRun run;
        ASSERT_TRUE(StartLauncher(L"", run, launcher));
        HWND window = WaitForLauncherWindow(run.pid, 20000);
        ASSERT_NE(window, nullptr) << "no window while the service is slow";
        if (c.button) {
            ASSERT_EQ(WaitForControlText(window, IDC_STATUS, c.ready, 20000), c.ready);
            ASSERT_NE(PressAndAnswer(window, run.pid, c.button, c.answer), L"(no box)");
        }
        const std::wstring waiting = c.waiting;
        ASSERT_TRUE(WaitUntil([&] { return ReadControlText(window, IDC_STATUS).rfind(waiting, 0) == 0; }, 20000))
            << ToUtf8(ReadControlText(window, IDC_STATUS));
        // A download shows what has arrived as it arrives, not a mebibyte at a time.
        if (waiting != L"Checking for updates..." && waiting.back() != L'.')
            EXPECT_TRUE(WaitUntil(
                [&] {
                    const std::wstring status = ReadControlText(window, IDC_STATUS);
                    return status.find(L"%") != std::wstring::npos && status.find(L" 0%") == std::wstring::npos;
                },
                20000))
                << ToUtf8(ReadControlText(window, IDC_STATUS));
        EXPECT_TRUE(Answers(window));
        ExpectSecondStartBringsForward(window);
        if (!c.afterCancel) {  // nothing to stop: the check only waits
            EXPECT_EQ(CloseLauncher(window, run), 0u);
            continue;
        }
        ASSERT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"Cancel");
        ClickControl(window, IDC_MAIN_ACTION);
        EXPECT_EQ(WaitForControlText(window, IDC_STATUS, c.afterCancel, 20000), c.afterCancel);
        EXPECT_TRUE(NoMessageBoxFor(run.pid, 0));
        const size_t requests = SeenByService(c.path).size();
        Sleep(2500);  // longer than the sign-in's poll interval
        EXPECT_EQ(SeenByService(c.path).size(), requests) << "requests went on after Cancel";
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }
    // What the stopped downloads kept is taken up again, not fetched anew.
    ASSERT_TRUE(ResetService());
    ASSERT_TRUE(ServeServiceFile(kLauncherPath, launcherBytes));
    ASSERT_TRUE(ServiceControl("package?client_version=1.0.0&launcher_version=2.0.5", package));
    LauncherRun resumed;
    ASSERT_TRUE(StartLauncher(L"", resumed, launcher));
    EXPECT_EQ(WaitForExit(resumed, 30000), 0u) << "the launcher did not hand over";
    const std::vector<std::string> ranges = SeenByService(kLauncherPath, "Range");
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].rfind("bytes=", 0), 0u) << ranges[0];
    LauncherRun restarted;
    HWND window = WaitForLauncherOf(launcher, 0, restarted);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(ReadFileBytes(launcher) == launcherBytes);
    EXPECT_EQ(CloseLauncher(window, restarted), 0u);
}

// Closing the window while the package downloads asks first; the download is stopped,
// and once unpacking has begun the window refuses as before (tests/unit).
TEST_F(ResponsiveWindow, ClosingDuringTheDownloadAsksAndStopsIt) {
    ASSERT_TRUE(ServeClientPackage(PackageWithFiller(8 << 20), "1.1.0"));
    ASSERT_TRUE(AddScenario(kServedPackagePath, "rate=100000&times=1"));
    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"", launcher);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, IDYES), L"(no box)");
    // Some bytes are in the partial file: the download has shown its first percent.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::wstring status = ReadControlText(window, IDC_STATUS);
            return status.rfind(L"Downloading ", 0) == 0 && _wtoi(status.c_str() + 12) >= 1;
        },
        20000));
    PostMessageW(window, WM_CLOSE, 0, 0);
    MessageBoxSeen box;
    ASSERT_TRUE(WaitForMessageBox(run.pid, 10000, box));
    EXPECT_EQ(box.text, L"The client is still downloading. Stop the download and close the launcher?\n\nThe download "
                        L"goes on from where it stopped the next time you install.");
    AnswerMessageBox(box.box, IDNO);
    EXPECT_TRUE(IsWindow(window));
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForMessageBox(run.pid, 10000, box));
    AnswerMessageBox(box.box, IDYES);
    EXPECT_EQ(WaitForExit(run, 10000), 0u);
    EXPECT_GT(ReadFileBytes(PartialDownloadPath(LauncherDataFolder() + L"\\client.zip")).size(), 0u);
}

}  // namespace
