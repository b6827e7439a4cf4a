#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>

#include "app/main_window.h"
#include "install/install.h"
#include "install/install_records.h"
#include "play/client_interface.h"
#include "support/client_package.h"
#include "support/in_process_window.h"
#include "support/service_control.h"

// The main window of this process against the stand-in service, so the install's seams
// can refuse to start the worker or to post its completion.

namespace {

std::atomic<int> resultPosts{0};

// Refuses the first three completion posts, as a full message queue would.
BOOL WINAPI RefuseFirstResultPosts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INSTALL_DONE && resultPosts.fetch_add(1) < 3) return FALSE;
    return PostMessageW(window, message, wParam, lParam);
}

class InstallWindowInProcess : public InProcessMainWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(ResetService());
        InProcessMainWindow::SetUp();
        ASSERT_NE(OpenWindow(), nullptr);
        ASSERT_EQ(ReadControlText(window, IDC_STATUS), L"Sarnhold is ready to install");
    }
    void TearDown() override {
        SetInstallWorkerStartFailsForTesting(false);
        SetInstallPostFunctionForTesting(nullptr);
        InProcessMainWindow::TearDown();
        ResetService();
    }
};

TEST_F(InstallWindowInProcess, AWorkerThatCannotStartIsReportedAndTheWindowIsIdleAgain) {
    SetInstallWorkerStartFailsForTesting(true);
    auto answers = AnswerBoxes({IDYES, IDOK});
    InstallOrRepairFromWindow(window, false);
    const std::vector<BoxSeen> seen = answers.get();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about 3.4 GB.");
    EXPECT_EQ(seen[0].icon, BoxIcon::Question);
    EXPECT_EQ(seen[1].text, L"Could not start the client installer.");
    EXPECT_EQ(seen[1].icon, BoxIcon::Error);
    EXPECT_EQ(seen[1].owner, window);

    PumpMessages();
    EXPECT_FALSE(MainWindow().busy);
    EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
    EXPECT_FALSE(IsWindowVisible(MainWindow().progressBar));
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Sarnhold is ready to install");
    EXPECT_TRUE(ServiceRequestsTo(kServedPackagePath).empty());
}

TEST_F(InstallWindowInProcess, ACompletionThatCannotBePostedIsRetriedUntilTheWindowHasIt) {
    resultPosts = 0;
    SetInstallPostFunctionForTesting(RefuseFirstResultPosts);
    auto answers = AnswerBoxes({IDYES});
    InstallOrRepairFromWindow(window, true);
    const std::vector<BoxSeen> seen = answers.get();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text,
              L"Scan and restore the managed client files? Your font settings and personal files will be preserved.");

    // The installing state, before any report has been handled.
    EXPECT_TRUE(MainWindow().busy);
    EXPECT_FALSE(IsWindowEnabled(MainWindow().mainAction));
    EXPECT_TRUE(IsWindowVisible(MainWindow().progressBar));
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Repairing client...");

    ASSERT_TRUE(PumpUntil([] { return !MainWindow().busy; }, 60000));
    EXPECT_GE(resultPosts.load(), 4);
    EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"PLAY");
    EXPECT_EQ(ReadFileBytes(folder / kClientVersionMarkerName), ServedClientVersion() + "\r\n");
}

}  // namespace
