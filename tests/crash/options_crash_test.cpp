#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>

#include "crash/crash_runs.h"
#include "play/client_interface.h"
#include "settings/game_options.h"
#include "settings/settings_window.h"
#include "state/file_replace.h"
#include "state/launcher_config.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

constexpr int kWriterKills = 24;
constexpr int kSettingsWindowKills = 12;

// The two sets of values the writer alternates between; the volumes differ in their
// number of digits, so the two files differ in length as well as in content.
const wchar_t* const kFirstValues = L"1024,768,0,1,0,10,20";
const wchar_t* const kSecondValues = L"2560,1440,1,0,1,127,0";
const GameOptions kFirstOptions = {1024, 768, false, true, false, 10, 20};
const GameOptions kSecondOptions = {2560, 1440, true, false, true, 127, 0};

// The default options text between a few megabytes of lines the launcher does not
// know, as a long-played client's file might grow: a write then takes long enough
// for random kills to land inside it.
std::string LargeOptionsText() {
    std::string padding;
    for (int i = 0; i < 60000; ++i) padding += "OptionInfoList[\"Unknown_" + std::to_string(i) + "\"] = 5\r\n";
    return padding + ReadFileBytes(std::wstring(HOLLOWMERE_TEST_SOURCE_DIR) + L"/resources/default_options.lua") +
           padding;
}

// What a save of options leaves when the file held text before.
std::string SavedText(const TempFolder& scratch, const std::string& text, const GameOptions& options) {
    const std::wstring path = scratch / L"expected.lua";
    EXPECT_TRUE(WriteFileBytes(path, text));
    EXPECT_TRUE(SaveGameOptionsTo(path, options));
    return ReadFileBytes(path);
}

bool SameOptions(const GameOptions& a, const GameOptions& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Fullscreen == b.Fullscreen && a.MusicOn == b.MusicOn &&
           a.SoundOn == b.SoundOn && a.MusicVolume == b.MusicVolume && a.EffectVolume == b.EffectVolume;
}

// A fresh data folder whose "launcher.ini" names a temporary install folder holding
// the large options file.
struct InstalledOptions {
    TempFolder install;
    TempFolder scratch;
    std::wstring path;
    InstalledOptions() {
        ResetLauncherDataFolder();
        EXPECT_TRUE(WriteInstallPath(install.path));
        path = GameOptionsPath();
        EXPECT_TRUE(WriteFileBytes(path, LargeOptionsText()));
    }
    ~InstalledOptions() {
        ResetLauncherDataFolder();
        ForgetGameRegistryKeys();
    }
};

TEST(CrashSafety, OptionsSaveKilledAnywhereKeepsTheOldOrTheNewFile) {
    InstalledOptions setup;
    const std::string original = ReadFileBytes(setup.path);
    const std::string firstText = SavedText(setup.scratch, original, kFirstOptions);
    const std::string secondText = SavedText(setup.scratch, original, kSecondOptions);
    ASSERT_NE(firstText.size(), secondText.size());
    const std::wstring temporary = ReplacementFilePath(setup.path);

    // A few saves in this process set the scale for the kill moments.
    const double started = NowMs();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SaveGameOptionsTo(setup.scratch / L"expected.lua", kFirstOptions));
    const int cycleMs = static_cast<int>((NowMs() - started) / 3) + 1;

    std::mt19937 random(kCrashSeed);
    int kills = 0, aimed = 0, midWrite = 0, foundFirst = 0, foundSecond = 0;
    for (int round = 0; round < kWriterKills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round));
        ReadyEvent ready;
        LauncherRun run;
        ASSERT_TRUE(StartCrashWriter(
            L"options " + ready.name + L" " + kFirstValues + L" " + kSecondValues, run));
        ASSERT_TRUE(ready.WaitWhileRunning(run, 30000)) << "the writer ended with " << WaitForExit(run, 0);
        if (WaitForKillMoment(random, 4 * cycleMs, setup.path, temporary, run)) ++aimed;
        ASSERT_TRUE(KillHard(run)) << "the writer ended with " << WaitForExit(run, 0);
        ++kills;
        if (FileExists(temporary)) ++midWrite;

        const std::string onDisk = ReadFileBytes(setup.path);
        ASSERT_TRUE(onDisk == firstText || onDisk == secondText)
            << "OptionInfo.lua holds " << onDisk.size() << " bytes, neither the old nor the new text ("
            << firstText.size() << " or " << secondText.size() << ")";
        const bool isFirst = onDisk == firstText;
        EXPECT_TRUE(SameOptions(LoadGameOptions(), isFirst ? kFirstOptions : kSecondOptions));
        ++(isFirst ? foundFirst : foundSecond);
    }

    // The next save replaces whatever a kill left beside the file.
    ASSERT_TRUE(SaveGameOptions(kFirstOptions));
    EXPECT_EQ(ReadFileBytes(setup.path), firstText);
    EXPECT_FALSE(FileExists(temporary));
    if (!HasFailure()) {
        PrintCrashSummary("options save (writer, " + std::to_string(original.size()) + "-byte file): " +
                          std::to_string(kills) + " kills (" + std::to_string(aimed) + " aimed at a write; " +
                          std::to_string(midWrite) +
                          " with the new text half-written beside OptionInfo.lua); OptionInfo.lua whole every time: " + std::to_string(foundFirst) +
                          " x first values, " + std::to_string(foundSecond) + " x second, 0 mixed");
    }
}

// The real launcher in settings mode: the player presses Save and the process dies
// at a random moment of the save that follows.
TEST(CrashSafety, SettingsWindowKilledWhileSavingKeepsTheOldOrTheNewFile) {
    InstalledOptions setup;
    const std::wstring temporary = ReplacementFilePath(setup.path);
    std::mt19937 random(kCrashSeed + 1);
    double saveMs = 0;
    int aimed = 0, kills = 0, killedRunning = 0, foundOld = 0, foundNew = 0;
    // Round 0 saves without a kill and times the save for the rounds after it.
    for (int round = 0; round <= kSettingsWindowKills; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string oldText = ReadFileBytes(setup.path);
        GameOptions wanted = LoadGameOptionsFrom(setup.path);
        wanted.Fullscreen = !wanted.Fullscreen;
        const std::string newText = SavedText(setup.scratch, oldText, wanted);

        LauncherRun run;
        ASSERT_TRUE(StartLauncher(L"--settings", run));
        HWND window = WaitForLauncherWindow(run.pid, 20000);
        ASSERT_NE(window, nullptr);
        SetControlChecked(window, IDC_FULLSCREEN, wanted.Fullscreen);
        const double clicked = NowMs();
        ClickControl(window, IDC_SAVE_SETTINGS);
        if (round == 0) {
            // The moment the new file takes the old one's place; closing the window and
            // ending the process take longer still.
            const FILETIME before = StampOf(setup.path).written;
            FILETIME now = before;
            while (CompareFileTime(&now, &before) == 0 && WaitForExit(run, 1) == STILL_ACTIVE) {
                now = StampOf(setup.path).written;
            }
            saveMs = NowMs() - clicked;
            ASSERT_EQ(WaitForExit(run, 30000), 0u);
            ASSERT_EQ(ReadFileBytes(setup.path), newText);
            continue;
        }
        if (WaitForKillMoment(random, static_cast<int>(saveMs * 1.25) + 1, setup.path, temporary, run)) ++aimed;
        if (KillHard(run)) ++killedRunning;
        ++kills;

        const std::string onDisk = ReadFileBytes(setup.path);
        ASSERT_TRUE(onDisk == oldText || onDisk == newText)
            << "OptionInfo.lua holds " << onDisk.size() << " bytes, neither the old nor the new text";
        EXPECT_EQ(LoadGameOptions().Fullscreen, onDisk == newText ? wanted.Fullscreen : !wanted.Fullscreen);
        ++(onDisk == newText ? foundNew : foundOld);
    }
    if (!HasFailure()) {
        PrintCrashSummary("settings window save (real launcher, the new file was in place " +
                          std::to_string(static_cast<int>(saveMs)) + " ms after the click): " +
                          std::to_string(kills) + " kills (" + std::to_string(aimed) + " aimed at the write), " +
                          std::to_string(killedRunning) +
                          " of them before the window closed itself; OptionInfo.lua whole every time: " +
                          std::to_string(foundOld) + " x old, " + std::to_string(foundNew) + " x new, 0 mixed");
    }
}

}  // namespace
