#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <future>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/ui_resources.h"
#include "install/install_records.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "update/update_manifest.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// The main window created inside the test process, so the worker's records (plain
// pointers) can be posted to it as the install worker does.

namespace {

constexpr DWORD kBoxWaitMs = 10000;

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;  // left by a window destroyed earlier
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Keeps this thread's windows alive (and any modal box running) until done is ready.
template <typename T>
T PumpUntil(std::future<T>& done) {
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) PumpMessages();
    PumpMessages();
    return done.get();
}

// Answers the next box of this process from another thread, since the box runs modally
// on the test's own thread.
std::future<MessageBoxSeen> AnswerNextBox(int button) {
    return std::async(std::launch::async, [button] {
        MessageBoxSeen seen;
        if (WaitForMessageBox(GetCurrentProcessId(), kBoxWaitMs, seen)) AnswerMessageBox(seen.box, button);
        return seen;
    });
}

bool HasMarqueeStyle(HWND bar) { return (GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE) != 0; }
int Position(HWND bar) { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); }

class MainWindowInProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        if (!Ui().bodyFont) CreateUiResources(GetModuleHandleW(nullptr));
        // Other in-process tests may have registered the class with another procedure.
        UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr));
        ASSERT_TRUE(RegisterLauncherClass(GetModuleHandleW(nullptr), MainWindowProc));
    }
    static void TearDownTestSuite() { UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr)); }

    void SetUp() override {
        ResetLauncherDataFolder();
        // The stored folder is one where no client can be, whether or not a service answers.
        ASSERT_TRUE(WriteInstallPath(folder.path));
        window = CreateLauncherWindow(GetModuleHandleW(nullptr), kMainClientHeight);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        PumpMessages();
    }
    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        PumpMessages();
        ResetLauncherDataFolder();
    }

    // What the install start does before its worker runs.
    void EnterInstallingState() {
        MainWindow().busy = true;
        EnableWindow(MainWindow().mainAction, FALSE);
        ShowWindow(MainWindow().progressBar, SW_SHOW);
    }

    TempFolder folder;
    HWND window = nullptr;
};

TEST_F(MainWindowInProcess, ProgressReportsSwitchBetweenMovingBarAndPosition) {
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    ASSERT_EQ(bar, MainWindow().progressBar);
    EXPECT_FALSE(IsWindowVisible(bar));
    EnterInstallingState();

    ASSERT_TRUE(PostInstallProgress(window, L"Installing files", -1));
    PumpMessages();
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Installing files");
    EXPECT_TRUE(HasMarqueeStyle(bar));
    SaveScreenshot(window, L"main-window-installing-marquee");

    ASSERT_TRUE(PostInstallProgress(window, L"Downloading", 42));
    PumpMessages();
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Downloading 42%");
    EXPECT_FALSE(HasMarqueeStyle(bar));
    EXPECT_EQ(Position(bar), 42);
    SaveScreenshot(window, L"main-window-installing-42");

    ASSERT_TRUE(PostInstallProgress(window, L"Ready", 100));
    ASSERT_TRUE(PostInstallProgress(window, L"Downloading", 0));
    PumpMessages();
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Downloading 0%");
    EXPECT_EQ(Position(bar), 0);

    // A report without a record changes nothing.
    PostMessageW(window, WM_INSTALL_PROGRESS, 0, 0);
    PumpMessages();
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Downloading 0%");
    EXPECT_TRUE(MainWindow().busy);
    EXPECT_FALSE(IsWindowEnabled(MainWindow().mainAction));
}

TEST_F(MainWindowInProcess, BusyWindowRefusesToCloseAndIgnoresCommands) {
    ASSERT_TRUE(SaveSession("device-token"));
    EnterInstallingState();

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SIGN_OUT, BN_CLICKED), 0);
    EXPECT_TRUE(FileExists(SessionFilePath()));

    auto answered = AnswerNextBox(IDOK);
    PostMessageW(window, WM_CLOSE, 0, 0);
    const MessageBoxSeen box = PumpUntil(answered);
    EXPECT_EQ(box.caption, L"Hollowmere Launcher");
    EXPECT_EQ(box.text, L"Installation is still running. Please wait for it to finish.");
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(MainWindow().statusLine, GetDlgItem(window, IDC_STATUS));
    SaveScreenshot(window, L"main-window-busy-after-close");

    // Once the install has ended, the same commands work again.
    ASSERT_TRUE(PostInstallResult(window, true, L""));
    PumpMessages();
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SIGN_OUT, BN_CLICKED), 0);
    EXPECT_FALSE(FileExists(SessionFilePath()));
    PostMessageW(window, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(MainWindow().statusLine, nullptr);  // nothing points at the dead controls
}

TEST_F(MainWindowInProcess, FailedInstallShowsItsReasonAndReturnsToIdle) {
    EnterInstallingState();
    ASSERT_TRUE(PostInstallProgress(window, L"Installing files", -1));
    PumpMessages();

    auto answered = AnswerNextBox(IDOK);
    ASSERT_TRUE(PostInstallResult(window, false, L"Windows could not extract the client package."));
    const MessageBoxSeen box = PumpUntil(answered);
    EXPECT_EQ(box.caption, L"Hollowmere Launcher");
    EXPECT_EQ(box.text, L"Windows could not extract the client package.");

    EXPECT_FALSE(MainWindow().busy);
    EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
    EXPECT_FALSE(IsWindowVisible(MainWindow().progressBar));
    EXPECT_FALSE(HasMarqueeStyle(MainWindow().progressBar));
    // Refreshed from the folder (which holds no client) and this run's update check.
    if (IsManifestLoaded()) {
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Sarnhold is ready to install");
        EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"INSTALL");
    } else {
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Unable to check updates. Check your internet connection.");
        EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"Retry");
    }
    SaveScreenshot(window, L"main-window-after-failed-install");

    // A failure that names no reason still says that something went wrong.
    EnterInstallingState();
    answered = AnswerNextBox(IDOK);
    ASSERT_TRUE(PostInstallResult(window, false, L""));
    EXPECT_EQ(PumpUntil(answered).text, L"The installation could not be completed.");
    EXPECT_FALSE(MainWindow().busy);

    // Success shows no box; a completion without a record still ends the busy state.
    EnterInstallingState();
    ASSERT_TRUE(PostInstallResult(window, true, L""));
    PumpMessages();
    EXPECT_TRUE(NoMessageBoxFor(GetCurrentProcessId(), 300));
    EXPECT_FALSE(MainWindow().busy);
    EnterInstallingState();
    PostMessageW(window, WM_INSTALL_DONE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(MainWindow().busy);
    EXPECT_TRUE(IsWindowEnabled(MainWindow().mainAction));
}

TEST_F(MainWindowInProcess, StaticTextIsDrawnTransparentlyOnTheBackground) {
    HDC dc = GetDC(window);
    SetBkMode(dc, OPAQUE);
    const LRESULT brush = SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(MainWindow().statusLine));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    ReleaseDC(window, dc);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), Ui().backgroundBrush);

    // Fonts: the title stands out, the rest use the body font.
    HWND title = GetWindow(window, GW_CHILD);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)), Ui().titleFont);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(MainWindow().folderBox, WM_GETFONT, 0, 0)), Ui().bodyFont);
    EXPECT_EQ(SendMessageW(MainWindow().folderBox, EM_GETLIMITTEXT, 0, 0), 32000);
    SaveScreenshot(window, L"main-window-in-process");
}

}  // namespace
