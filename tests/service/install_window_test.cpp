#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <future>
#include <vector>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/ui_resources.h"
#include "install/install.h"
#include "install/install_records.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"
#include "support/client_package.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// The main window created in this process against the stand-in service, so the install's
// seams can refuse to start the worker or to post its completion.

namespace {

constexpr DWORD kBoxWaitMs = 10000;

std::atomic<int> resultPosts{0};

// Refuses the first three completion posts, as a full message queue would.
BOOL WINAPI RefuseFirstResultPosts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INSTALL_DONE && resultPosts.fetch_add(1) < 3) return FALSE;
    return PostMessageW(window, message, wParam, lParam);
}

struct BoxSeen {
    std::wstring text;
    HWND owner = nullptr;
    BoxIcon icon = BoxIcon::None;
};

// Answers this process's next boxes in turn from another thread, since each box runs
// modally on the test's own thread.
std::future<std::vector<BoxSeen>> AnswerBoxes(std::vector<int> buttons) {
    return std::async(std::launch::async, [buttons] {
        std::vector<BoxSeen> seen;
        for (int button : buttons) {
            MessageBoxSeen box;
            if (!WaitForMessageBox(GetCurrentProcessId(), kBoxWaitMs, box)) break;
            seen.push_back({box.text, GetWindow(box.box, GW_OWNER), ReadMessageBoxIcon(box.box)});
            AnswerMessageBox(box.box, button);
            for (int i = 0; i < 200 && IsWindow(box.box); ++i) Sleep(10);
        }
        return seen;
    });
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        PumpMessages();
        Sleep(10);
    }
    return true;
}

class InstallWindowInProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        if (!Ui().bodyFont) CreateUiResources(GetModuleHandleW(nullptr));
        UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr));
        ASSERT_TRUE(RegisterLauncherClass(GetModuleHandleW(nullptr), MainWindowProc));
    }
    static void TearDownTestSuite() { UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr)); }

    void SetUp() override {
        ASSERT_TRUE(ResetService());
        ResetLauncherDataFolder();
        ASSERT_TRUE(WriteInstallPath(folder.path));  // the folder box starts with it
        window = CreateLauncherWindow(GetModuleHandleW(nullptr), kMainClientHeight);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        PumpMessages();
        ASSERT_EQ(ReadControlText(window, IDC_STATUS), L"Sarnhold is ready to install");
    }
    void TearDown() override {
        SetInstallWorkerStartFailsForTesting(false);
        SetInstallPostFunctionForTesting(nullptr);
        if (IsWindow(window)) DestroyWindow(window);
        PumpMessages();
        ResetService();
        ResetLauncherDataFolder();
    }

    TempFolder folder;
    HWND window = nullptr;
};

TEST_F(InstallWindowInProcess, AWorkerThatCannotStartIsReportedAndTheWindowIsIdleAgain) {
    SetInstallWorkerStartFailsForTesting(true);
    auto boxes = AnswerBoxes({IDYES, IDOK});
    InstallOrRepairFromWindow(window, false);
    const std::vector<BoxSeen> seen = boxes.get();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about 3.4 GB.");
    EXPECT_EQ(seen[0].icon, BoxIcon::Question);
    EXPECT_EQ(seen[0].owner, window);
    EXPECT_EQ(seen[1].text, L"Could not start the client installer.");
    EXPECT_EQ(seen[1].icon, BoxIcon::Error);
    EXPECT_EQ(seen[1].owner, window);

    PumpMessages();
    EXPECT_FALSE(MainWindow().busy);
    EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
    EXPECT_FALSE(IsWindowVisible(MainWindow().progressBar));
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Sarnhold is ready to install");
    std::vector<RecordedRequest> requests;
    ASSERT_TRUE(ReadServiceRequests(requests));
    for (const RecordedRequest& request : requests) EXPECT_NE(request.target, kServedPackagePath);

    // The window takes commands again: the next press asks again.
    SetInstallWorkerStartFailsForTesting(false);
    boxes = AnswerBoxes({IDNO});
    InstallOrRepairFromWindow(window, true);
    ASSERT_EQ(boxes.get().size(), 1u);
    EXPECT_FALSE(MainWindow().busy);
}

TEST_F(InstallWindowInProcess, ACompletionThatCannotBePostedIsRetriedUntilTheWindowHasIt) {
    resultPosts = 0;
    SetInstallPostFunctionForTesting(RefuseFirstResultPosts);
    auto boxes = AnswerBoxes({IDYES});
    InstallOrRepairFromWindow(window, true);
    const std::vector<BoxSeen> seen = boxes.get();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text,
              L"Scan and restore the managed client files? Your font settings and personal files will be preserved.");
    EXPECT_EQ(seen[0].owner, window);

    // The installing state, before any report has been handled.
    EXPECT_TRUE(MainWindow().busy);
    EXPECT_FALSE(IsWindowEnabled(MainWindow().mainAction));
    EXPECT_TRUE(IsWindowVisible(MainWindow().progressBar));
    EXPECT_EQ(GetWindowLongPtrW(MainWindow().progressBar, GWL_STYLE) & PBS_MARQUEE, 0);
    EXPECT_EQ(SendMessageW(MainWindow().progressBar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Repairing client...");

    ASSERT_TRUE(PumpUntil([] { return !MainWindow().busy; }, 60000));
    EXPECT_GE(resultPosts.load(), 4);
    EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
    EXPECT_FALSE(IsWindowVisible(MainWindow().progressBar));
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Client up to date");
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"PLAY");
    EXPECT_EQ(ReadFileBytes(folder / kClientVersionMarkerName), ServedClientVersion() + "\r\n");
}

}  // namespace
