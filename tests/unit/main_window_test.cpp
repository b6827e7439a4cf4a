#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "app/main_window.h"
#include "install/install_records.h"
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
    // What the install start does before its worker runs.
    void EnterInstallingState() {
        MainWindow().busy = true;
        EnableWindow(MainWindow().mainAction, FALSE);
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
        EXPECT_FALSE(MainWindow().busy);
        EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
        EXPECT_FALSE(IsWindowVisible(bar));
    }
    // A completion without a record still ends the busy state.
    EnterInstallingState();
    PostMessageW(window, WM_INSTALL_DONE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(MainWindow().busy);
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

}  // namespace
