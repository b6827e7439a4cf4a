#include <gtest/gtest.h>

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "play/client_interface.h"
#include "settings/settings_window.h"
#include "state/install_folder_lock.h"
#include "state/launcher_config.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

constexpr DWORD kBoxWaitMs = 10000;
constexpr DWORD kExitWaitMs = 10000;

void ExpectHolds(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in:\n" << text;
}

// An install folder that the launcher's "launcher.ini" points at, on a fresh data folder.
struct SettingsSetup {
    TempFolder folder;
    std::wstring install;

    explicit SettingsSetup(const std::wstring& installName = L"") {
        install = installName.empty() ? folder.path : folder / installName;
        ResetLauncherDataFolder();
        EXPECT_TRUE(WriteInstallPath(install));
    }
    ~SettingsSetup() { ResetLauncherDataFolder(); }

    std::wstring FontFile() const { return install + L"\\SarnFont.ini"; }
    std::wstring OptionsFile() const { return install + L"\\savedata\\OptionInfo.lua"; }
};

std::wstring PercentLabel(HWND window, int y) {
    HWND label = FindControlAt(window, L"Static", 430, y);
    if (!label) return L"<no label>";
    wchar_t text[32] = {};
    GetWindowTextW(label, text, 32);
    return text;
}

std::wstring MusicPercent(HWND window) { return PercentLabel(window, 448); }
std::wstring EffectPercent(HWND window) { return PercentLabel(window, 479); }

// The form as it opens without files, and as "Reset defaults" leaves it.
void ExpectDefaultForm(HWND window) {
    EXPECT_FALSE(IsControlChecked(window, IDC_FONT_ENABLED));
    EXPECT_EQ(ReadEditText(window, IDC_FONT_NAME), L"Tahoma");
    EXPECT_FALSE(IsControlChecked(window, IDC_FORCE_FONT));
    EXPECT_EQ(ReadEditText(window, IDC_SCALE_PERCENT), L"100");
    EXPECT_EQ(ReadEditText(window, IDC_WEIGHT_OFFSET), L"0");
    EXPECT_EQ(ReadEditText(window, IDC_MIN_ORIGINAL_HEIGHT), L"1");
    EXPECT_EQ(ReadEditText(window, IDC_MAX_ORIGINAL_HEIGHT), L"14");
    EXPECT_EQ(ReadEditText(window, IDC_MAX_RESULT_HEIGHT), L"16");
    EXPECT_TRUE(IsControlChecked(window, IDC_BLOCK_EXTERNAL_URLS));
    for (int id = IDC_FONT_NAME; id <= IDC_MAX_RESULT_HEIGHT; ++id) EXPECT_FALSE(IsControlEnabled(window, id)) << id;
    EXPECT_TRUE(IsControlEnabled(window, IDC_BLOCK_EXTERNAL_URLS));

    EXPECT_EQ(ComboItemCount(window, IDC_RESOLUTION), 14);
    EXPECT_EQ(ComboItemText(window, IDC_RESOLUTION, ComboSelection(window, IDC_RESOLUTION)), L"1920 x 1080");
    EXPECT_FALSE(IsControlChecked(window, IDC_FULLSCREEN));
    EXPECT_TRUE(IsControlChecked(window, IDC_MUSIC_ON));
    EXPECT_TRUE(IsControlChecked(window, IDC_SOUND_ON));
    EXPECT_EQ(SliderPosition(window, IDC_MUSIC_VOLUME), 13);
    EXPECT_EQ(SliderPosition(window, IDC_EFFECT_VOLUME), 13);
    EXPECT_EQ(MusicPercent(window), L"13%");
    EXPECT_EQ(EffectPercent(window), L"13%");
}

// Waits until a posted click has shown in the edit.
bool WaitForEditText(HWND window, int id, const std::wstring& expected) {
    return WaitUntil([&] { return ReadEditText(window, id) == expected; }, 5000);
}

// Paints everything pending first, so the picture shows the state the test just set.
void Screenshot(HWND window, const std::wstring& name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    SaveScreenshot(window, name);
}

// A key pressed in the form, as its dialog key handling sees it.
void PressKey(HWND window, WPARAM key) { PostMessageW(window, WM_KEYDOWN, key, 0); }

// Presses Save and expects the window to close silently with exit code 0.
void SaveAndExpectClosed(HWND window, const LauncherRun& run) {
    ClickControl(window, IDC_SAVE_SETTINGS);
    MessageBoxSeen seen;
    EXPECT_EQ(WaitForExit(run, kExitWaitMs), 0u)
        << (WaitForMessageBox(run.pid, 0, seen) ? "it shows: " + testing::PrintToString(seen.text) : "");
}

// Presses Save, expects a box with this text, answers it and expects the window to stay.
void SaveAndExpectMessage(HWND window, const LauncherRun& run, const std::wstring& expected,
                          const std::wstring& screenshot = L"") {
    ClickControl(window, IDC_SAVE_SETTINGS);
    MessageBoxSeen seen;
    ASSERT_TRUE(WaitForMessageBox(run.pid, kBoxWaitMs, seen));
    EXPECT_EQ(seen.caption, L"Hollowmere Launcher");
    EXPECT_EQ(seen.text, expected);
    if (!screenshot.empty()) SaveScreenshot(window, screenshot);
    AnswerMessageBox(seen.box, IDOK);
    EXPECT_EQ(WaitForExit(run, 0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(IsWindow(window));
}

TEST(SettingsWindow, FirstOpenWithoutFilesShowsTheDefaults) {
    SettingsSetup setup;
    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"--settings");
    ASSERT_NE(window, nullptr);

    ExpectDefaultForm(window);

    EXPECT_EQ(SendMessageW(GetDlgItem(window, IDC_FONT_NAME), EM_GETLIMITTEXT, 0, 0), 31);
    Screenshot(window, L"settings-first-open");
    EXPECT_EQ(CloseLauncher(window, run), 0u);  // closed without saving
    EXPECT_FALSE(FileExists(setup.FontFile()));
    EXPECT_FALSE(FileExists(setup.OptionsFile()));
}

TEST(SettingsWindow, AnUntouchedFormSavesTheValuesAsLoaded) {
    SettingsSetup setup;
    std::string options = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"] = 1600");
    options = ReplaceOnce(options, "[\"HEIGHT\"] = 1080", "[\"HEIGHT\"] = 1200");
    options = ReplaceOnce(options, "[\"OLD_WIDTH\"] = 1920", "[\"OLD_WIDTH\"] = 1600");
    options = ReplaceOnce(options, "[\"OLD_HEIGHT\"] = 1080", "[\"OLD_HEIGHT\"] = 1200");
    // Volumes whose percentage converts back to another volume.
    options = ReplaceOnce(options, "[\"Bgm_Volume\"] = 17", "[\"Bgm_Volume\"] = 2");
    options = ReplaceOnce(options, "[\"Effect_Volume\"] = 17", "[\"Effect_Volume\"] = 16");
    ASSERT_TRUE(WriteFileBytes(setup.OptionsFile(), options));
    ASSERT_TRUE(WriteFileBytes(setup.FontFile(),
                               "[Font]\r\nEnabled=1\r\nFontName=Courier\r\nScalePercent=150\r\n"
                               "[Browser]\r\nBlockExternalUrls=0\r\n"));

    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"--settings");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsControlChecked(window, IDC_FONT_ENABLED));
    EXPECT_EQ(ReadEditText(window, IDC_FONT_NAME), L"Courier");
    EXPECT_EQ(ReadEditText(window, IDC_SCALE_PERCENT), L"150");
    EXPECT_FALSE(IsControlChecked(window, IDC_BLOCK_EXTERNAL_URLS));
    for (int id = IDC_FONT_NAME; id <= IDC_MAX_RESULT_HEIGHT; ++id) EXPECT_TRUE(IsControlEnabled(window, id)) << id;
    ASSERT_EQ(ComboItemCount(window, IDC_RESOLUTION), 15);
    EXPECT_EQ(ComboItemText(window, IDC_RESOLUTION, 14), L"1600 x 1200 (current)");
    EXPECT_EQ(ComboSelection(window, IDC_RESOLUTION), 14);
    EXPECT_TRUE(IsControlChecked(window, IDC_FULLSCREEN));
    Screenshot(window, L"settings-current-resolution");

    SaveAndExpectClosed(window, run);
    EXPECT_EQ(ReadFileBytes(setup.OptionsFile()), options);
    ExpectHolds(ReadFileBytes(setup.FontFile()),
                {"FontName=Courier", "ScalePercent=150", "MaxResultAbsHeight=16", "BlockExternalUrls=0"});
}

TEST(SettingsWindow, TheEnableBoxSwitchesOnlyTheFontControls) {
    SettingsSetup setup;
    ASSERT_TRUE(WriteFileBytes(setup.FontFile(), "[Font]\r\nEnabled=1\r\n"));
    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"--settings");
    ASSERT_NE(window, nullptr);
    for (int id = IDC_FONT_NAME; id <= IDC_MAX_RESULT_HEIGHT; ++id) EXPECT_TRUE(IsControlEnabled(window, id)) << id;
    Screenshot(window, L"settings-font-enabled");

    SetControlChecked(window, IDC_FONT_ENABLED, false);
    for (int id = IDC_FONT_NAME; id <= IDC_MAX_RESULT_HEIGHT; ++id) EXPECT_FALSE(IsControlEnabled(window, id)) << id;
    EXPECT_TRUE(IsControlEnabled(window, IDC_BLOCK_EXTERNAL_URLS));
    EXPECT_TRUE(IsControlEnabled(window, IDC_FONT_ENABLED));
    EXPECT_TRUE(IsWindowEnabled(FindControlAt(window, L"Static", 35, 187)));  // a label stays
    EXPECT_TRUE(IsWindowEnabled(FindControlAt(window, L"Button", 14, 159)));  // the group box stays

    // Disabled fields are still validated and saved.
    SetControlText(window, IDC_SCALE_PERCENT, L"abc");
    SaveAndExpectMessage(window, run, L"Scale percent must be a whole number.");
    SetControlText(window, IDC_SCALE_PERCENT, L"250");
    SetControlChecked(window, IDC_FONT_ENABLED, true);
    EXPECT_TRUE(IsControlEnabled(window, IDC_SCALE_PERCENT));
    SetControlChecked(window, IDC_FONT_ENABLED, false);
    SaveAndExpectClosed(window, run);
    ExpectHolds(ReadFileBytes(setup.FontFile()), {"Enabled=0", "ScalePercent=250"});
}

TEST(SettingsWindow, InvalidInputIsReportedAndNothingIsWritten) {
    SettingsSetup setup;
    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"--settings");
    ASSERT_NE(window, nullptr);

    SetControlText(window, IDC_SCALE_PERCENT, L"401");
    SaveAndExpectMessage(window, run, L"Scale percent must be between 25 and 400.", L"settings-validation-message");
    EXPECT_EQ(ReadEditText(window, IDC_SCALE_PERCENT), L"401");  // the player's input stays

    SetControlText(window, IDC_SCALE_PERCENT, L"400");
    SetControlText(window, IDC_MIN_ORIGINAL_HEIGHT, L"20");
    SaveAndExpectMessage(window, run, L"Minimum original height cannot exceed the maximum.");

    SetControlText(window, IDC_MIN_ORIGINAL_HEIGHT, L"1");
    SelectComboItem(window, IDC_RESOLUTION, -1);
    SaveAndExpectMessage(window, run, L"Choose a game resolution.");

    EXPECT_FALSE(FileExists(setup.FontFile()));
    EXPECT_FALSE(FileExists(setup.install + L"\\savedata"));
    PressKey(window, VK_ESCAPE);  // closes without saving
    EXPECT_EQ(WaitForExit(run, kExitWaitMs), 0u);
    EXPECT_FALSE(FileExists(setup.FontFile()));
    EXPECT_FALSE(FileExists(setup.install + L"\\savedata"));
}

TEST(SettingsWindow, SlidersListAndBoxesAreSavedToTheOptionsFileOfTheFolderOpened) {
    SettingsSetup setup;
    ForgetGameRegistryKeys();
    // A width the list cannot carry is replaced once the player picks a resolution.
    ASSERT_TRUE(WriteFileBytes(setup.OptionsFile(),
                               ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"] = 70000")));
    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"--settings");
    ASSERT_NE(window, nullptr);
    // Another folder chosen in the main window meanwhile.
    ASSERT_TRUE(WriteInstallPath(setup.folder / L"chosen later"));

    MoveSlider(window, IDC_MUSIC_VOLUME, 100);
    EXPECT_EQ(MusicPercent(window), L"100%");
    EXPECT_EQ(EffectPercent(window), L"13%");
    MoveSlider(window, IDC_EFFECT_VOLUME, 0);
    EXPECT_EQ(EffectPercent(window), L"0%");
    SelectComboItem(window, IDC_RESOLUTION, 4);
    SetControlChecked(window, IDC_FULLSCREEN, true);
    SetControlChecked(window, IDC_SOUND_ON, false);
    Screenshot(window, L"settings-edited");
    SaveAndExpectClosed(window, run);

    ExpectHolds(ReadFileBytes(setup.OptionsFile()),
                {"OptionInfoList[\"Bgm_Volume\"] = 127\r\n", "OptionInfoList[\"Effect_Volume\"] = 0\r\n",
                 "OptionInfoList[\"WIDTH\"] = 1366\r\n", "OptionInfoList[\"HEIGHT\"] = 768\r\n",
                 "OptionInfoList[\"ISFULLSCREENMODE\"] = 1\r\n", "CmdOnOffList[\"/bgm\"] = 1\r\n",
                 "CmdOnOffList[\"/sound\"] = 0\r\n"});
    EXPECT_EQ(RegistryDword(kGameRegistryKey, L"Bgm_Volume"), 127);
    EXPECT_FALSE(FileExists(setup.folder / L"chosen later"));
    ForgetGameRegistryKeys();
}

TEST(SettingsWindow, ResetShowsDefaultsAndClosingWritesNothing) {
    SettingsSetup setup;
    std::string options = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"] = 1600");
    options = ReplaceOnce(options, "[\"HEIGHT\"] = 1080", "[\"HEIGHT\"] = 1200");
    options = ReplaceOnce(options, "[\"Bgm_Volume\"] = 17", "[\"Bgm_Volume\"] = 127");
    options = ReplaceOnce(options, "[\"/sound\"] = 1", "[\"/sound\"] = 0");
    const std::string font = "[Font]\r\nEnabled=1\r\nFontName=Courier\r\nScalePercent=150\r\n";
    ASSERT_TRUE(WriteFileBytes(setup.OptionsFile(), options));
    ASSERT_TRUE(WriteFileBytes(setup.FontFile(), font));

    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"--settings");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(MusicPercent(window), L"100%");
    ClickControl(window, IDC_RESET_DEFAULTS);
    EXPECT_TRUE(WaitForEditText(window, IDC_SCALE_PERCENT, L"100"));
    ExpectDefaultForm(window);
    Screenshot(window, L"settings-after-reset");

    EXPECT_EQ(CloseLauncher(window, run), 0u);  // closed without saving
    EXPECT_EQ(ReadFileBytes(setup.OptionsFile()), options);
    EXPECT_EQ(ReadFileBytes(setup.FontFile()), font);
}

TEST(SettingsWindow, SaveFailuresAreReportedInOrder) {
    {
        // No install folder: the font file fails first and the game options stay untouched.
        SettingsSetup setup(L"not-installed");
        WritePrivateProfileStringW(L"Font", L"Enabled", L"0", setup.FontFile().c_str());
        const DWORD expectedCode = GetLastError();
        ASSERT_FALSE(FileExists(setup.install));
        LauncherRun run;
        HWND window = StartLauncherWindow(run, L"--settings");
        ASSERT_NE(window, nullptr);
        SaveAndExpectMessage(window, run,
                             L"Could not save SarnFont.ini. Windows error: " + std::to_wstring(expectedCode),
                             L"settings-font-file-error");
        EXPECT_NE(expectedCode, 0u);
        EXPECT_EQ(CloseLauncher(window, run), 0u);  // closed without saving
        EXPECT_FALSE(FileExists(setup.install));
    }
    {
        // An options file the launcher cannot edit: the font file is saved, the options are not.
        SettingsSetup setup;
        const std::string options = ReplaceOnce(DefaultOptionsText(), "CmdOnOffList[\"/sound\"] = 1\r\n", "");
        ASSERT_TRUE(WriteFileBytes(setup.OptionsFile(), options));
        LauncherRun run;
        HWND window = StartLauncherWindow(run, L"--settings");
        ASSERT_NE(window, nullptr);
        SaveAndExpectMessage(window, run,
                             L"Could not save the game display and audio settings. Make sure Sarnhold is installed.");
        EXPECT_EQ(CloseLauncher(window, run), 0u);  // closed without saving
        EXPECT_TRUE(FileExists(setup.FontFile()));
        EXPECT_EQ(ReadFileBytes(setup.OptionsFile()), options);
    }
    {
        // An install running in the folder (named in another spelling), then a read-only
        // options file: each refused before anything is written. A resolution the list
        // cannot carry is shown as the default and saved as it was.
        SettingsSetup setup(L"Zo\u00eb");
        std::string options = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"] = -1");
        options = ReplaceOnce(options, "[\"HEIGHT\"] = 1080", "[\"HEIGHT\"] = 70000");
        options = ReplaceOnce(options, "[\"OLD_WIDTH\"] = 1920", "[\"OLD_WIDTH\"] = -1");
        options = ReplaceOnce(options, "[\"OLD_HEIGHT\"] = 1080", "[\"OLD_HEIGHT\"] = 70000");
        ASSERT_TRUE(WriteFileBytes(setup.OptionsFile(), options));
        std::wstring otherSpelling = setup.install + L"\\";
        CharUpperW(&otherSpelling[0]);
        InstallFolderLock install;
        ASSERT_TRUE(LockInstallFolder(otherSpelling, install, 0));
        LauncherRun run;
        HWND window = StartLauncherWindow(run, L"--settings");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(ComboItemText(window, IDC_RESOLUTION, ComboSelection(window, IDC_RESOLUTION)), L"1920 x 1080");
        SaveAndExpectMessage(window, run,
                             L"Sarnhold is being installed or repaired in this folder. Save again when it has "
                             L"finished.");
        install.Release();
        ASSERT_TRUE(SetFileAttributesW(setup.OptionsFile().c_str(), FILE_ATTRIBUTE_READONLY));
        SaveAndExpectMessage(window, run,
                             setup.OptionsFile() + L" is read-only, so nothing was saved. Clear its read-only "
                                                   L"attribute to save these settings.");
        EXPECT_FALSE(FileExists(setup.FontFile()));
        EXPECT_TRUE(GetFileAttributesW(setup.OptionsFile().c_str()) & FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(SetFileAttributesW(setup.OptionsFile().c_str(), FILE_ATTRIBUTE_NORMAL));
        PressKey(window, VK_RETURN);  // saves
        EXPECT_EQ(WaitForExit(run, kExitWaitMs), 0u);
        EXPECT_TRUE(FileExists(setup.FontFile()));
        EXPECT_EQ(ReadFileBytes(setup.OptionsFile()), options);
    }
}

}  // namespace
