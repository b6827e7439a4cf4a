// Start-up of the real executable: the windowless modes and the bare window sizes.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

namespace fs = std::filesystem;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

void CloseLauncherWindow(HWND window, DWORD pid) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process) {
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

HWND WaitForLauncherOfImage(const std::wstring& image, DWORD& pid) {
    for (int i = 0; i < 200; ++i, Sleep(100)) {
        if (HWND window = FindLauncherWindowOfImage(image, &pid)) return window;
    }
    return nullptr;
}

TEST(SelfTestMode, WritesTheFileOrExitsWith20) {
    TempFolder folder;
    const std::wstring path = folder / L"self test.ini";
    LauncherRun run;
    ASSERT_TRUE(StartLauncher(L"--SELF-TEST " + Quoted(path), run));
    EXPECT_EQ(WaitForExit(run, 20000), 0u);
    const std::string text = ReadFileBytes(path);
    EXPECT_NE(text.find("ScalePercent=123"), std::string::npos);
    EXPECT_NE(text.find("BlockExternalUrls=0"), std::string::npos);

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
};

TEST_F(SelfUpdateCompletion, ReplacesAndStartsTheTargetAtOnceWhenTheOldProcessIsGone) {
    ASSERT_TRUE(WriteFileBytes(target, "old launcher bytes"));
    const DWORD endedPid = EndedProcessId();
    LauncherRun updater;
    const ULONGLONG started = GetTickCount64();
    ASSERT_TRUE(StartLauncher(L"--self-update " + Quoted(target) + L" " + std::to_wstring(endedPid), updater));
    EXPECT_EQ(WaitForExit(updater, 25000), 0u);
    EXPECT_LT(GetTickCount64() - started, 25000u);  // did not sit out the 30 s wait
    EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE));

    DWORD restartedPid = 0;
    HWND restarted = WaitForLauncherOfImage(target, restartedPid);
    ASSERT_NE(restarted, nullptr) << "the replaced launcher was not started";
    SaveScreenshot(restarted, L"self-update-restarted");
    CloseLauncherWindow(restarted, restartedPid);
}

TEST_F(SelfUpdateCompletion, WaitsForTheOldLauncherBeforeCopying) {
    ASSERT_TRUE(fs::copy_file(HOLLOWMERE_TEST_LAUNCHER_EXE, target));
    LauncherRun old;
    ASSERT_TRUE(StartLauncher(L"", old, target));
    HWND oldWindow = WaitForLauncherWindow(old.pid, 20000);
    ASSERT_NE(oldWindow, nullptr);

    LauncherRun updater;
    ASSERT_TRUE(StartLauncher(L"--self-update " + Quoted(target) + L" " + std::to_wstring(old.pid), updater));
    EXPECT_EQ(WaitForExit(updater, 1500), static_cast<DWORD>(STILL_ACTIVE)) << "did not wait for the old launcher";
    PostMessageW(oldWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(old, 10000), 0u);
    EXPECT_EQ(WaitForExit(updater, 20000), 0u);

    DWORD restartedPid = 0;
    HWND restarted = WaitForLauncherOfImage(target, restartedPid);
    ASSERT_NE(restarted, nullptr);
    EXPECT_NE(restartedPid, old.pid);
    CloseLauncherWindow(restarted, restartedPid);
}

TEST_F(SelfUpdateCompletion, UnwritableTargetExitsWith5AndStartsNothing) {
    const std::wstring missingFolderTarget = folder / L"missing\\Launcher.exe";
    LauncherRun updater;
    ASSERT_TRUE(StartLauncher(L"--self-update " + Quoted(missingFolderTarget) + L" 0", updater));
    EXPECT_EQ(WaitForExit(updater, 20000), 5u);
    EXPECT_FALSE(FileExists(missingFolderTarget));

    // A target that is running cannot be replaced; the running one stays the only one.
    ASSERT_TRUE(fs::copy_file(HOLLOWMERE_TEST_LAUNCHER_EXE, target));
    LauncherRun running;
    ASSERT_TRUE(StartLauncher(L"", running, target));
    HWND runningWindow = WaitForLauncherWindow(running.pid, 20000);
    ASSERT_NE(runningWindow, nullptr);
    const DWORD endedPid = EndedProcessId();
    LauncherRun second;
    ASSERT_TRUE(StartLauncher(L"--self-update " + Quoted(target) + L" " + std::to_wstring(endedPid), second));
    EXPECT_EQ(WaitForExit(second, 20000), 5u);
    Sleep(1000);
    DWORD foundPid = 0;
    EXPECT_EQ(FindLauncherWindowOfImage(target, &foundPid), runningWindow);
    EXPECT_EQ(foundPid, running.pid);
    CloseLauncherWindow(runningWindow, running.pid);
}

TEST(WindowModes, FixedSizeCentredWindowsOfBothModes) {
    struct Case {
        const wchar_t* arguments;
        int clientHeight;
        const wchar_t* screenshot;
    };
    for (const Case& c : {Case{L"", 290, L"bare-main-window"}, Case{L"--Settings extra words", 580, L"bare-settings-window"}}) {
        LauncherRun run;
        ASSERT_TRUE(StartLauncher(c.arguments, run));
        HWND window = WaitForLauncherWindow(run.pid, 20000);
        ASSERT_NE(window, nullptr) << c.arguments;
        RECT client = {};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 545);
        EXPECT_EQ(client.bottom, c.clientHeight);
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
        EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        EXPECT_STREQ(title, L"Hollowmere Launcher");
        RECT outer = {};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
        EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
        SaveScreenshot(window, c.screenshot);
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(run, 10000), 0u);
    }
}

}  // namespace
