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

constexpr DWORD kTextWaitMs = 5000;
constexpr const char* kManifestPath = "/download/sarnhold/manifest.json";

constexpr const wchar_t* kCurrent = L"Client up to date";
constexpr const wchar_t* kReady = L"Sarnhold is ready to install";
constexpr const wchar_t* kNotSignedIn = L"Not signed in - Discord opens on first Play";

// Inside the account line, which has no id of its own.
std::wstring AccountLine(HWND window) { return ReadTextAt(window, 30, 85); }

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
};

TEST_F(MainWindowTest, OfflineStartOffersRetryInTheTableLayout) {
    ASSERT_TRUE(AddServiceStatus(kManifestPath, 503));
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Unable to check updates. Check your internet connection.");
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"Retry");
    EXPECT_EQ(ReadEditText(window, IDC_INSTALL_PATH), L"C:\\Games\\Hollowmere\\Sarnhold");
    EXPECT_EQ(ReadTextAt(window, 30, 25), L"Hollowmere Sarnhold");
    EXPECT_EQ(AccountLine(window), kNotSignedIn);

    EXPECT_TRUE(RectIs(ControlRect(window, IDC_INSTALL_PATH), 24, 139, 405, 24));
    EXPECT_TRUE(RectIs(ControlRect(window, IDC_STATUS), 24, 174, 497, 20));
    EXPECT_TRUE(RectIs(ControlRect(window, IDC_MAIN_ACTION), 365, 219, 156, 43));
    EXPECT_FALSE(IsControlVisible(window, IDC_PROGRESS));
    Screenshot(window, L"main-window-offline");
    EXPECT_EQ(CloseLauncher(window, run), 0u);
}

TEST_F(MainWindowTest, StatusFollowsTheFolderOnlyWhenRefreshed) {
    const std::string version = "7.1.0-window-test";
    ASSERT_TRUE(ServeServiceFile(kManifestPath, "{\"client_version\": \"" + version +
                                                    "\", \"client_url\": \"http://127.0.0.1:1/client.zip\", "
                                                    "\"client_size\": \"10\", \"client_sha256\": \"\", "
                                                    "\"launcher_version\": \"2.0.4\", \"launcher_url\": \"\", "
                                                    "\"launcher_sha256\": \"\"}"));
    // A folder whose client counts as installed and current, and an empty one.
    TempFolder current;
    TempFolder empty;
    ASSERT_TRUE(WriteFileBytes(current / L"Sarnhold-Elderline.exe", "MZ"));
    ASSERT_TRUE(WriteFileBytes(current / L".hollowmere-version", version + "\r\n"));
    ASSERT_TRUE(WriteInstallPath(current.path));

    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kCurrent);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"PLAY");
    Screenshot(window, L"main-window-client-current");

    // Typing a folder changes nothing until something refreshes (here: Sign out).
    SetControlText(window, IDC_INSTALL_PATH, empty.path);
    Sleep(300);
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kCurrent);
    ClickControl(window, IDC_SIGN_OUT);
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, kTextWaitMs), kReady);
    // The button's caption is set just after the status line.
    EXPECT_EQ(WaitForControlText(window, IDC_MAIN_ACTION, L"INSTALL", kTextWaitMs), L"INSTALL");

    // A folder chosen in the picker goes into the box and refreshes at once, unstored.
    SetControlText(window, IDC_INSTALL_PATH, current.path);
    ClickControl(window, IDC_SIGN_OUT);
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kCurrent, kTextWaitMs), kCurrent);
    ClickControl(window, IDC_BROWSE);
    MessageBoxSeen picker;
    ASSERT_TRUE(WaitForMessageBox(run.pid, 10000, picker));
    EXPECT_TRUE(HasChildWithText(picker.box, L"Choose the folder that will contain Hollowmere\\Sarnhold"));
    AnswerMessageBox(picker.box, IDOK);  // the picker's first choice, the desktop folder
    EXPECT_EQ(WaitForControlText(window, IDC_STATUS, kReady, kTextWaitMs), kReady);
    EXPECT_NE(ReadEditText(window, IDC_INSTALL_PATH).find(L"Desktop"), std::wstring::npos);
    EXPECT_EQ(ReadInstallPath(), current.path);
}

TEST_F(MainWindowTest, AccountLineFollowsTheSavedSession) {
    {
        LauncherRun run;
        HWND window = StartLauncherWindow(run);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(AccountLine(window), kNotSignedIn);
    }
    ASSERT_TRUE(SaveSession("device-token-1"));
    {
        LauncherRun run;
        HWND window = StartLauncherWindow(run);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(AccountLine(window), L"Signed in with Discord");
    }
    ASSERT_TRUE(WriteAccountName(L"Wren of Sarnhold"));
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(AccountLine(window), L"Signed in as Wren of Sarnhold");
    Screenshot(window, L"main-window-signed-in");

    ClickControl(window, IDC_SIGN_OUT);
    EXPECT_TRUE(WaitUntil([&] { return AccountLine(window) == kNotSignedIn; }, kTextWaitMs));
    EXPECT_TRUE(NoMessageBoxFor(run.pid, 300));  // no confirmation
    EXPECT_FALSE(FileExists(SessionFilePath()));
    EXPECT_EQ(ReadAccountName(), L"");
}

TEST_F(MainWindowTest, SettingsOpensInAProcessOfItsOwn) {
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    ClickControl(window, IDC_SETTINGS);

    DWORD settingsPid = 0;
    HWND settings = WaitForOtherLauncherWindow(HOLLOWMERE_TEST_LAUNCHER_EXE, run.pid, 20000, &settingsPid);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(ClientSize(settings).cy, 580);
    Screenshot(settings, L"main-window-settings-process");
    EXPECT_TRUE(CloseLauncherOfProcess(settings, settingsPid));
    EXPECT_TRUE(IsWindow(window));
}

}  // namespace
