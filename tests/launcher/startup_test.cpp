// Start-up of the real executable: the windowless modes and the bare window sizes.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

namespace fs = std::filesystem;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

TEST(SelfTestMode, WritesTheFileOrExitsWith20) {
    TempFolder folder;
    const std::wstring path = folder / L"self test.ini";
    LauncherRun run;
    ASSERT_TRUE(StartLauncher(L"--SELF-TEST " + Quoted(path), run));
    EXPECT_EQ(WaitForExit(run, 20000), 0u);
    EXPECT_NE(ReadFileBytes(path).find("ScalePercent=123"), std::string::npos);

    LauncherRun missing;
    ASSERT_TRUE(StartLauncher(L"--self-test " + Quoted(folder / L"no such folder\\x.ini"), missing));
    EXPECT_EQ(WaitForExit(missing, 20000), 20u);
}

class SelfUpdateCompletion : public ::testing::Test {
protected:
    TempFolder folder;
    std::wstring target;
    void SetUp() override {
        ResetLauncherDataFolder();
        fs::create_directories(folder / L"Old Launcher Folder");
        target = folder / L"Old Launcher Folder\\Hollowmere Launcher.exe";
    }
    void TearDown() override { ResetLauncherDataFolder(); }
    // The process id of a process that has already ended.
    DWORD EndedProcessId() {
        LauncherRun ended;
        EXPECT_TRUE(StartLauncher(L"--self-test " + Quoted(folder / L"x.ini"), ended));
        EXPECT_EQ(WaitForExit(ended, 20000), 0u);
        return ended.pid;
    }
    bool StartUpdater(LauncherRun& updater, const std::wstring& path, DWORD pid) {
        return StartLauncher(L"--self-update " + Quoted(path) + L" " + std::to_wstring(pid), updater);
    }
};

TEST_F(SelfUpdateCompletion, ReplacesAndStartsTheTargetAtOnceWhenTheOldProcessIsGone) {
    ASSERT_TRUE(WriteFileBytes(target, "old launcher bytes"));
    LauncherRun updater;
    ASSERT_TRUE(StartUpdater(updater, target, EndedProcessId()));
    EXPECT_EQ(WaitForExit(updater, 25000), 0u);  // did not sit out the 30 s wait
    EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE));

    DWORD restartedPid = 0;
    HWND restarted = WaitForLauncherWindowOfImage(target, restartedPid);
    ASSERT_NE(restarted, nullptr) << "the replaced launcher was not started";
    SaveScreenshot(restarted, L"self-update-restarted");
    CloseLauncherOfProcess(restarted, restartedPid);
}

TEST_F(SelfUpdateCompletion, WaitsForTheOldLauncherBeforeCopying) {
    ASSERT_TRUE(fs::copy_file(HOLLOWMERE_TEST_LAUNCHER_EXE, target));
    LauncherRun old;
    HWND oldWindow = StartLauncherWindow(old, L"", target);
    ASSERT_NE(oldWindow, nullptr);

    LauncherRun updater;
    ASSERT_TRUE(StartUpdater(updater, target, old.pid));
    EXPECT_EQ(WaitForExit(updater, 1500), static_cast<DWORD>(STILL_ACTIVE)) << "did not wait for the old launcher";
    EXPECT_EQ(CloseLauncher(oldWindow, old), 0u);
    EXPECT_EQ(WaitForExit(updater, 20000), 0u);

    DWORD restartedPid = 0;
    HWND restarted = WaitForLauncherWindowOfImage(target, restartedPid);
    ASSERT_NE(restarted, nullptr);
    EXPECT_NE(restartedPid, old.pid);
    CloseLauncherOfProcess(restarted, restartedPid);
}

TEST_F(SelfUpdateCompletion, AnUnwritableTargetExitsWith5AndALockedOneIsReplacedOnceFree) {
    const std::wstring missingFolderTarget = folder / L"missing\\Launcher.exe";
    LauncherRun updater;
    ASSERT_TRUE(StartUpdater(updater, missingFolderTarget, 0));
    EXPECT_EQ(WaitForExit(updater, 20000), 5u);
    EXPECT_FALSE(FileExists(missingFolderTarget));

    // The old launcher may hold its file a moment after its process has ended: the new
    // one waits with its copy ready beside the file, and replaces it once it is free.
    ASSERT_TRUE(fs::copy_file(HOLLOWMERE_TEST_NEXT_LAUNCHER_EXE, target));
    LauncherRun running;
    HWND runningWindow = StartLauncherWindow(running, L"", target);
    ASSERT_NE(runningWindow, nullptr);
    LauncherRun second;
    ASSERT_TRUE(StartUpdater(second, target, EndedProcessId()));
    WaitUntil([&] { return FileExists(target + L".update-tmp") || WaitForExit(second, 0) != STILL_ACTIVE; }, 20000);
    EXPECT_EQ(CloseLauncher(runningWindow, running), 0u);
    EXPECT_EQ(WaitForExit(second, 20000), 0u);
    EXPECT_TRUE(ReadFileBytes(target) == ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE));
    EXPECT_FALSE(FileExists(target + L".update-tmp"));
    DWORD restartedPid = 0;
    HWND restarted = WaitForLauncherWindowOfImage(target, restartedPid);
    ASSERT_NE(restarted, nullptr);
    CloseLauncherOfProcess(restarted, restartedPid);
}

TEST(WindowModes, ASecondLauncherBringsTheFirstForwardAndEndsButTheSettingsFormOpens) {
    LauncherRun first;
    HWND window = StartLauncherWindow(first);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, 5000));
    LauncherRun second;
    ASSERT_TRUE(StartLauncher(L"", second));
    EXPECT_EQ(WaitForExit(second, 20000), 0u);
    EXPECT_FALSE(IsIconic(window));

    LauncherRun settings;
    HWND form = StartLauncherWindow(settings, L"--settings");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(CloseLauncher(form, settings), 0u);
    EXPECT_EQ(CloseLauncher(window, first), 0u);
}

TEST(WindowModes, FixedSizeCentredWindowsOfBothModes) {
    for (const auto& mode : {std::make_pair(L"", 290), std::make_pair(L"--Settings extra words", 580)}) {
        SCOPED_TRACE(mode.second);
        LauncherRun run;
        HWND window = StartLauncherWindow(run, mode.first);
        ASSERT_NE(window, nullptr);
        const SIZE client = ClientSize(window);
        EXPECT_EQ(client.cx, 545);
        EXPECT_EQ(client.cy, mode.second);
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
        EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
        RECT outer = {};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
        EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
        SaveScreenshot(window, mode.second == 290 ? L"bare-main-window" : L"bare-settings-window");
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }
}

}  // namespace
