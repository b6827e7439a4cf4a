#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/main_window.h"
#include "app/settings_window.h"
#include "state/install_folder_lock.h"
#include "state/launcher_config.h"
#include "support/clean_world.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

using SettingsWindow = ServiceWorld;

// The form is a process of its own beside the main window, which a second launcher only
// brings forward. A save is refused while an install holds the folder (named there in
// another letter case); then the form's values go to the files of the folder it opened
// with, those left untouched as they were loaded, even where a slider cannot show them
// exactly.
TEST_F(SettingsWindow, OpensBesideTheOneLauncherAndSavesTheValuesAsLoadedOnlyOutsideAnInstall) {
    const std::wstring install = folder / L"Zo\u00eb";
    const std::wstring options = install + L"\\savedata\\OptionInfo.lua";
    const std::wstring font = install + L"\\SarnFont.ini";
    // A music volume whose percentage converts back to another volume.
    const std::string loaded = ReplaceOnce(DefaultOptionsText(), "[\"Bgm_Volume\"] = 17", "[\"Bgm_Volume\"] = 2");
    ASSERT_TRUE(WriteFileBytes(options, loaded));
    ASSERT_TRUE(WriteFileBytes(font, "[Font]\r\nEnabled=1\r\nFontName=Courier\r\n"));
    ASSERT_TRUE(WriteInstallPath(install));

    LauncherRun main;
    HWND window = StartLauncherWindow(main);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, 5000));
    LauncherRun second;
    ASSERT_TRUE(StartLauncher(L"", second));
    // One that stays would be taken for the form below, and the form left open.
    ASSERT_EQ(WaitForExit(second, 20000), 0u);
    EXPECT_FALSE(IsIconic(window));

    ClickControl(window, IDC_SETTINGS);
    LauncherRun settings;
    HWND form = WaitForLauncherOf(HOLLOWMERE_TEST_LAUNCHER_EXE, main.pid, settings);
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(WriteInstallPath(folder / L"chosen later"));  // in the main window meanwhile
    ClickControl(form, IDC_FULLSCREEN);  // posted, so handled before the Save click below

    // A read-only file is named before anything is written: no font file without the options.
    ASSERT_TRUE(SetFileAttributesW(options.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(PressAndAnswer(form, settings.pid, IDC_SAVE_SETTINGS, IDOK),
              options + L" is read-only, so nothing was saved. Clear its read-only attribute to save these settings.");
    EXPECT_EQ(ReadFileBytes(font), "[Font]\r\nEnabled=1\r\nFontName=Courier\r\n");
    ASSERT_TRUE(SetFileAttributesW(options.c_str(), FILE_ATTRIBUTE_NORMAL));

    std::wstring otherSpelling = install;
    CharUpperW(&otherSpelling[0]);
    InstallFolderLock lock;
    ASSERT_TRUE(LockInstallFolder(otherSpelling, lock, 0));
    EXPECT_EQ(PressAndAnswer(form, settings.pid, IDC_SAVE_SETTINGS, IDOK),
              L"Sarnhold is being installed or repaired in this folder. Save again when it has finished.");
    EXPECT_EQ(ReadFileBytes(options), loaded);
    lock.Release();
    ClickControl(form, IDC_SAVE_SETTINGS);
    EXPECT_EQ(WaitForExit(settings, 10000), 0u);
    EXPECT_EQ(ReadFileBytes(options), ReplaceOnce(loaded, "[\"ISFULLSCREENMODE\"] = 1", "[\"ISFULLSCREENMODE\"] = 0"));
    EXPECT_NE(ReadFileBytes(font).find("FontName=Courier"), std::string::npos);
    EXPECT_FALSE(FileExists(folder / L"chosen later"));
    EXPECT_EQ(CloseLauncher(window, main), 0u);
}

}  // namespace
