#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/main_window.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// The real launcher against the stand-in service, driven from outside as a player would.

namespace {

constexpr DWORD kWindowWaitMs = 20000;
constexpr DWORD kBoxWaitMs = 10000;
constexpr DWORD kTextWaitMs = 5000;
constexpr const char* kManifestPath = "/download/sarnhold/manifest.json";
constexpr const char* kTestClientVersion = "7.1.0-window-test";

constexpr const wchar_t* kOffline = L"Unable to check updates. Check your internet connection.";
constexpr const wchar_t* kCurrent = L"Client up to date";
constexpr const wchar_t* kReady = L"Sarnhold is ready to install";
constexpr const wchar_t* kNotSignedIn = L"Not signed in - Discord opens on first Play";

// Inside the account line, which has no id of its own.
std::wstring AccountLine(HWND window) { return ReadTextAt(window, 30, 85); }

std::string ManifestNamingClient(const std::string& version) {
    return "{\"client_version\": \"" + version +
           "\", \"client_url\": \"http://127.0.0.1:1/client.zip\", \"client_size\": \"10\", "
           "\"client_sha256\": \"\", \"launcher_version\": \"2.0.4\", \"launcher_url\": \"\", "
           "\"launcher_sha256\": \"\"}";
}

// A folder whose client the launcher counts as installed and current.
void InstallFakeClient(const std::wstring& folder, const std::string& version) {
    ASSERT_TRUE(WriteFileBytes(folder + L"\\Sarnhold-Elderline.exe", "MZ"));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\.hollowmere-version", version + "\r\n"));
}

// Wine hands a fresh paint to the X server a moment later; a shot taken at once can
// still be blank.
void Screenshot(HWND window, const wchar_t* name) {
    Sleep(400);
    SaveScreenshot(window, name);
}

bool RectIs(const RECT& rect, int left, int top, int width, int height) {
    return rect.left == left && rect.top == top && rect.right - rect.left == width && rect.bottom - rect.top == height;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ResetService());
        ResetLauncherDataFolder();
    }
    void TearDown() override {
        ResetService();
        ResetLauncherDataFolder();
    }

    HWND Start(LauncherRun& run) {
        if (!StartLauncher(L"", run)) return nullptr;
        return WaitForLauncherWindow(run.pid, kWindowWaitMs);
    }

    void MakeServiceUnreachable() {
        ServiceScenario down;
        down.path = kManifestPath;
        down.status = 503;
        ASSERT_TRUE(AddServiceScenario(down));
    }
};

TEST_F(MainWindowTest, OfflineStartOffersRetryInTheTableLayout) {
    MakeServiceUnreachable();
    LauncherRun run;
    HWND window = Start(run);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kOffline);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"Retry");
    EXPECT_EQ(ReadEditText(window, IDC_INSTALL_PATH), L"C:\\Games\\Hollowmere\\Sarnhold");
    EXPECT_EQ(ReadTextAt(window, 30, 25), L"Hollowmere Sarnhold");
    EXPECT_EQ(ReadTextAt(window, 30, 55), L"English Elder-line");
    EXPECT_EQ(AccountLine(window), kNotSignedIn);
    EXPECT_EQ(ReadTextAt(window, 30, 120), L"Install location");

    const SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, 545);
    EXPECT_EQ(client.cy, 290);
    EXPECT_TRUE(RectIs(ControlRect(window, IDC_INSTALL_PATH), 24, 139, 405, 24));
    EXPECT_TRUE(RectIs(ControlRect(window, IDC_BROWSE), 439, 137, 82, 28));
    EXPECT_TRUE(RectIs(ControlRect(window, IDC_STATUS), 24, 174, 350, 20));
    EXPECT_TRUE(RectIs(ControlRect(window, IDC_SIGN_OUT), 216, 227, 88, 31));
    EXPECT_TRUE(RectIs(ControlRect(window, IDC_MAIN_ACTION), 365, 219, 156, 43));
    EXPECT_FALSE(IsControlVisible(window, IDC_PROGRESS));
    EXPECT_TRUE(IsControlEnabled(window, IDC_MAIN_ACTION));
    Screenshot(window, L"main-window-offline");

    // An empty folder box: a warning, and nothing is stored.
    SetControlText(window, IDC_INSTALL_PATH, L"");
    ClickControl(window, IDC_MAIN_ACTION);
    MessageBoxSeen box;
    ASSERT_TRUE(WaitForMessageBox(run.pid, kBoxWaitMs, box));
    EXPECT_EQ(box.caption, L"Hollowmere Launcher");
    EXPECT_EQ(box.text, L"Choose an installation folder first.");
    AnswerMessageBox(box.box, IDOK);
    EXPECT_FALSE(FileExists(LauncherIniPath()));

    // Retry while the service is still down: the check's own reason, still "Retry", no box.
    TempFolder folder;
    SetControlText(window, IDC_INSTALL_PATH, folder.path);
    ClickControl(window, IDC_MAIN_ACTION);
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, L"Could not download the Hollowmere update manifest.",
                                 kTextWaitMs),
              L"Could not download the Hollowmere update manifest.");
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"Retry");
    EXPECT_TRUE(NoMessageBoxFor(run.pid, 500));
    EXPECT_EQ(ReadInstallPath(), folder.path);  // remembered before the check
    Screenshot(window, L"main-window-retry-failed");

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(run, 10000), 0u);
}

TEST_F(MainWindowTest, StatusFollowsTheFolderOnlyWhenRefreshed) {
    ASSERT_TRUE(ServeServiceFile(kManifestPath, ManifestNamingClient(kTestClientVersion)));
    TempFolder current;
    TempFolder empty;
    InstallFakeClient(current.path, kTestClientVersion);
    ASSERT_TRUE(WriteInstallPath(current.path));

    LauncherRun run;
    HWND window = Start(run);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kCurrent);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"PLAY");
    EXPECT_EQ(ReadEditText(window, IDC_INSTALL_PATH), current.path);
    Screenshot(window, L"main-window-client-current");

    // Typing a folder changes nothing until something refreshes (here: Sign out).
    SetControlText(window, IDC_INSTALL_PATH, empty.path);
    Sleep(300);
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kCurrent);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"PLAY");
    ClickControl(window, IDC_SIGN_OUT);
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, kTextWaitMs), kReady);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"INSTALL");
    Screenshot(window, L"main-window-ready-to-install");

    // A cancelled folder picker neither changes the box nor refreshes.
    SetControlText(window, IDC_INSTALL_PATH, current.path);
    ClickControl(window, IDC_BROWSE);
    MessageBoxSeen picker;
    ASSERT_TRUE(WaitForMessageBox(run.pid, kBoxWaitMs, picker));
    EXPECT_TRUE(HasChildWithText(picker.box, L"Choose the folder that will contain Hollowmere\\Sarnhold"));
    Screenshot(picker.box, L"main-window-folder-picker");
    AnswerMessageBox(picker.box, IDCANCEL);
    EXPECT_EQ(ReadEditText(window, IDC_INSTALL_PATH), current.path);
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kReady);

    ClickControl(window, IDC_SIGN_OUT);
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kCurrent, kTextWaitMs), kCurrent);

    // A chosen folder goes into the box unchanged and refreshes at once, unstored.
    ClickControl(window, IDC_BROWSE);
    ASSERT_TRUE(WaitForMessageBox(run.pid, kBoxWaitMs, picker));
    AnswerMessageBox(picker.box, IDOK);  // the picker's first choice, the desktop folder
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, kTextWaitMs), kReady);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"INSTALL");
    const std::wstring chosen = ReadEditText(window, IDC_INSTALL_PATH);
    EXPECT_NE(chosen, current.path);
    EXPECT_NE(chosen.find(L"Desktop"), std::wstring::npos) << chosen;
    EXPECT_EQ(ReadInstallPath(), current.path);
}

TEST_F(MainWindowTest, AccountLineFollowsTheSavedSession) {
    {
        LauncherRun run;
        HWND window = Start(run);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(AccountLine(window), kNotSignedIn);
    }
    ASSERT_TRUE(SaveSession("device-token-1"));
    {
        LauncherRun run;
        HWND window = Start(run);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(AccountLine(window), L"Signed in with Discord");
        Screenshot(window, L"main-window-signed-in-without-name");
    }
    ASSERT_TRUE(WriteAccountName(L"Wren of Sarnhold"));
    LauncherRun run;
    HWND window = Start(run);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(AccountLine(window), L"Signed in as Wren of Sarnhold");
    Screenshot(window, L"main-window-signed-in");

    ClickControl(window, IDC_SIGN_OUT);
    const ULONGLONG deadline = GetTickCount64() + kTextWaitMs;
    while (AccountLine(window) != kNotSignedIn && GetTickCount64() < deadline) Sleep(50);
    EXPECT_EQ(AccountLine(window), kNotSignedIn);
    EXPECT_TRUE(NoMessageBoxFor(run.pid, 300));  // no confirmation
    EXPECT_FALSE(FileExists(SessionFilePath()));
    EXPECT_EQ(ReadAccountName(), L"");
    Screenshot(window, L"main-window-signed-out");
}

TEST_F(MainWindowTest, SettingsOpensInAProcessOfItsOwn) {
    LauncherRun run;
    HWND window = Start(run);
    ASSERT_NE(window, nullptr);
    ClickControl(window, IDC_SETTINGS);

    DWORD settingsPid = 0;
    HWND settings = WaitForOtherLauncherWindow(HOLLOWMERE_TEST_LAUNCHER_EXE, run.pid, kWindowWaitMs, &settingsPid);
    ASSERT_NE(settings, nullptr);
    // Started by the launcher for this test, so the test ends it if closing fails.
    HANDLE settingsProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, settingsPid);
    EXPECT_EQ(ClientSize(settings).cy, 580);
    Screenshot(settings, L"main-window-settings-process");
    EXPECT_TRUE(IsWindow(window));

    PostMessageW(settings, WM_CLOSE, 0, 0);
    if (settingsProcess) {
        const DWORD waited = WaitForSingleObject(settingsProcess, 10000);
        EXPECT_EQ(waited, WAIT_OBJECT_0);
        if (waited != WAIT_OBJECT_0) TerminateProcess(settingsProcess, 99);
        CloseHandle(settingsProcess);
    }
    Screenshot(window, L"main-window-after-settings");
    EXPECT_TRUE(IsWindow(window));
}

}  // namespace
