#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <future>
#include <memory>

#include "app/main_window.h"
#include "app/window_work.h"
#include "app/install_records.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/in_process_window.h"

// The install worker's records posted to a main window of this process, as the worker does.

namespace {

class MainWindowInProcess : public InProcessMainWindow {
protected:
    void SetUp() override {
        InProcessMainWindow::SetUp();
        ASSERT_NE(OpenWindow(), nullptr);
    }
    // What the install start does before its worker runs, with the worker in phase.
    void EnterInstallingState(int phase = kInstallUnpacking) {
        MainWindow().control = std::make_shared<WorkControl>();
        MainWindow().control->install.phase = phase;
        SetWindowWork(WindowWork::Installing);
        ShowWindow(MainWindow().progressBar, SW_SHOW);
    }
};

TEST_F(MainWindowInProcess, ReportsMoveTheBarAndAFailureEndsInItsBoxAndIdle) {
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    EnterInstallingState();
    ASSERT_TRUE(PostInstallProgress(window, L"Downloading", 42));
    PostMessageW(window, WM_INSTALL_PROGRESS, 0, 0);  // a report without a record changes nothing
    PumpMessages();
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Downloading 42%");
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 42);

    // Failures show their reason, or a general one when they name none, then idle again.
    for (const wchar_t* reason : {L"Windows could not extract the client package.", L""}) {
        EnterInstallingState();
        auto answers = AnswerBoxes({IDOK});
        ASSERT_TRUE(PostInstallResult(window, false, reason));
        const std::vector<BoxSeen> boxes = PumpUntilAnswered(answers);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, *reason ? reason : L"The installation could not be completed.");
        EXPECT_EQ(boxes[0].icon, BoxIcon::Error);
        EXPECT_EQ(MainWindow().work, WindowWork::Idle);
        EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
        EXPECT_FALSE(IsWindowVisible(bar));
    }
    // A completion without a record still ends the busy state.
    EnterInstallingState();
    PostMessageW(window, WM_INSTALL_DONE, 0, 0);
    PumpMessages();
    EXPECT_EQ(MainWindow().work, WindowWork::Idle);
}

TEST_F(MainWindowInProcess, BusyWindowRefusesToCloseAndIgnoresCommands) {
    ASSERT_TRUE(SaveSession("device-token") && WriteAccountName(L"Wren"));
    EnterInstallingState();
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SIGN_OUT, BN_CLICKED), 0);
    EXPECT_TRUE(FileExists(SessionFilePath()));
    auto answers = AnswerBoxes({IDOK});
    PostMessageW(window, WM_CLOSE, 0, 0);
    const std::vector<BoxSeen> boxes = PumpUntilAnswered(answers);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Installation is still running. Please wait for it to finish.");
    EXPECT_TRUE(IsWindow(window));

    // Once the install has ended, a success shows no box and the same commands work again.
    ASSERT_TRUE(PostInstallResult(window, true, L""));
    PumpMessages();
    EXPECT_TRUE(NoMessageBoxFor(GetCurrentProcessId(), 300));
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SIGN_OUT, BN_CLICKED), 0);
    EXPECT_FALSE(FileExists(SessionFilePath()));
    EXPECT_EQ(ReadAccountName(), L"");
    PostMessageW(window, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(MainWindow().statusLine, nullptr);  // nothing points at the dead controls
}

// The worker's last word: without it the window would stay busy for good, so a refused
// post is retried while the window exists, and given up only when it is gone.
std::atomic<int> g_resultPosts{0}, g_refusals{0};

BOOL WINAPI RefuseSomeResultPosts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INSTALL_DONE && g_resultPosts.fetch_add(1) < g_refusals.load()) return FALSE;
    return PostMessageW(window, message, wParam, lParam);
}

TEST(DeliverInstallResult, RetriesARefusedPostAndGivesUpOnlyWhenTheWindowIsGone) {
    SetInstallPostFunctionForTesting(RefuseSomeResultPosts);
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    g_refusals = 3;
    EXPECT_TRUE(DeliverInstallResult(window, false, L"Windows could not extract the client package."));
    EXPECT_EQ(g_resultPosts.load(), 4);
    MSG message = {};
    ASSERT_TRUE(PeekMessageW(&message, window, WM_INSTALL_DONE, WM_INSTALL_DONE, PM_REMOVE));
    std::unique_ptr<InstallResult> record(reinterpret_cast<InstallResult*>(message.lParam));  // the window's now
    EXPECT_EQ(record->message, L"Windows could not extract the client package.");

    g_resultPosts = 0;
    g_refusals = 1000000;
    auto delivered = std::async(std::launch::async, [window] { return DeliverInstallResult(window, true, L""); });
    for (int i = 0; i < 500 && g_resultPosts.load() < 3; ++i) Sleep(10);
    EXPECT_EQ(delivered.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    DestroyWindow(window);
    EXPECT_FALSE(delivered.get());
    SetInstallPostFunctionForTesting(nullptr);
}

}  // namespace
