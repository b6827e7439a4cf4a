#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>

#include "play/client_interface.h"
#include "settings/game_options.h"
#include "settings/lua_options.h"
#include "state/launcher_config.h"
#include "support/test_files.h"

namespace {

std::wstring SavedataFile(const TempFolder& folder) { return folder / L"savedata\\OptionInfo.lua"; }

void ExpectOptions(const GameOptions& options, int width, int height, bool fullscreen, bool musicOn, bool soundOn,
                   int music, int effects) {
    EXPECT_EQ(std::make_tuple(options.Width, options.Height, options.Fullscreen, options.MusicOn, options.SoundOn,
                              options.MusicVolume, options.EffectVolume),
              std::make_tuple(width, height, fullscreen, musicOn, soundOn, music, effects));
}

TEST(GameOptions, MissingOrEmptyFileStartsFromTheBuiltInText) {
    // The resources test checks that the executable carries these bytes.
    const std::string expected = ReplaceOnce(DefaultOptionsText(), "[\"ISFULLSCREENMODE\"] = 1", "[\"ISFULLSCREENMODE\"] = 0");
    TempFolder install;
    const std::wstring path = SavedataFile(install);
    ExpectOptions(LoadGameOptionsFrom(path), 1920, 1080, false, true, true, 17, 17);
    ASSERT_TRUE(SaveGameOptionsTo(path, GameOptions()));
    EXPECT_EQ(ReadFileBytes(path), expected);

    // An empty file is treated as a missing one; folders are created as deep as needed.
    ASSERT_TRUE(WriteFileBytes(path, ""));
    ASSERT_TRUE(SaveGameOptionsTo(path, GameOptions()));
    EXPECT_EQ(ReadFileBytes(path), expected);
    const std::wstring deep = install / L"not\\yet\\there\\savedata\\OptionInfo.lua";
    ASSERT_TRUE(SaveGameOptionsTo(deep, GameOptions()));
    EXPECT_EQ(ReadFileBytes(deep), expected);
}

TEST(GameOptions, ThePathFollowsTheStoredInstallFolder) {
    ResetLauncherDataFolder();
    TempFolder install;
    ASSERT_TRUE(WriteInstallPath(install.path));
    EXPECT_EQ(GameOptionsPath(), install.path + L"\\savedata\\OptionInfo.lua");
    GameOptions options;
    options.Width = 1280;
    options.Height = 720;
    ASSERT_TRUE(SaveGameOptions(options));
    ExpectOptions(LoadGameOptionsFrom(SavedataFile(install)), 1280, 720, false, true, true, 17, 17);
    ExpectOptions(LoadGameOptions(), 1280, 720, false, true, true, 17, 17);
    ResetLauncherDataFolder();
}

TEST(GameOptions, SavingChangesOnlyTheDigitsOfTheFirstMatchingLines) {
    TempFolder install;
    const std::wstring path = SavedataFile(install);
    std::string text = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"]=1920");
    text = ReplaceOnce(text, "[\"HEIGHT\"] = 1080", "[\"HEIGHT\"] = 1080.5");
    text += "OptionInfoList[\"WIDTH\"] = 640\r\n";  // a second line: never read or changed
    ASSERT_TRUE(WriteFileBytes(path, text));
    ExpectOptions(LoadGameOptionsFrom(path), 1920, 1080, true, true, true, 17, 17);

    const GameOptions options = {1600, 1200, false, false, true, 127, 0};
    ASSERT_TRUE(SaveGameOptionsTo(path, options));
    std::string expected = ReplaceOnce(text, "[\"WIDTH\"]=1920", "[\"WIDTH\"]=1600");
    expected = ReplaceOnce(expected, "[\"HEIGHT\"] = 1080.5", "[\"HEIGHT\"] = 1200.5");
    expected = ReplaceOnce(expected, "[\"OLD_WIDTH\"] = 1920", "[\"OLD_WIDTH\"] = 1600");
    expected = ReplaceOnce(expected, "[\"OLD_HEIGHT\"] = 1080", "[\"OLD_HEIGHT\"] = 1200");
    expected = ReplaceOnce(expected, "[\"ISFULLSCREENMODE\"] = 1", "[\"ISFULLSCREENMODE\"] = 0");
    expected = ReplaceOnce(expected, "[\"Bgm_Volume\"] = 17", "[\"Bgm_Volume\"] = 127");
    expected = ReplaceOnce(expected, "[\"Effect_Volume\"] = 17", "[\"Effect_Volume\"] = 0");
    expected = ReplaceOnce(expected, "[\"/bgm\"] = 1", "[\"/bgm\"] = 0");
    const std::string saved = ReadFileBytes(path);
    EXPECT_EQ(saved, expected);
    EXPECT_NE(saved.find("OptionInfoList[\"WIDTH\"] = 640\r\n"), std::string::npos);
    ExpectOptions(LoadGameOptionsFrom(path), 1600, 1200, false, false, true, 127, 0);
}

TEST(GameOptions, OddStoredNumbersLoadInADefinedWay) {
    TempFolder install;
    const std::wstring path = SavedataFile(install);
    std::string text = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"] = 99999999999");
    text = ReplaceOnce(text, "[\"Bgm_Volume\"] = 17", "[\"Bgm_Volume\"] = -5");
    text = ReplaceOnce(text, "[\"Effect_Volume\"] = 17", "[\"Effect_Volume\"] = 300");
    text = ReplaceOnce(text, "[\"/sound\"] = 1", "[\"/sound\"] = 0");
    ASSERT_TRUE(WriteFileBytes(path, text));
    ExpectOptions(LoadGameOptionsFrom(path), 1920, 1080, true, true, false, -5, 300);

    GameOptions options;
    options.Width = 1280;
    ASSERT_TRUE(SaveGameOptionsTo(path, options));
    const std::string saved = ReadFileBytes(path);
    EXPECT_NE(saved.find("OptionInfoList[\"WIDTH\"] = 1280\r\n"), std::string::npos);
    EXPECT_EQ(saved.find("99999999999"), std::string::npos);
}

TEST(GameOptions, AFileMissingALineLoadsButIsNeverWritten) {
    TempFolder install;
    const std::wstring path = SavedataFile(install);
    const std::string withoutSound = ReplaceOnce(DefaultOptionsText(), "CmdOnOffList[\"/sound\"] = 1\r\n", "");
    ASSERT_TRUE(WriteFileBytes(path, withoutSound));
    ForgetGameRegistryKeys();
    EXPECT_TRUE(LoadGameOptionsFrom(path).SoundOn);
    GameOptions options;
    options.Width = 800;
    options.Height = 600;
    EXPECT_FALSE(SaveGameOptionsTo(path, options));
    EXPECT_EQ(ReadFileBytes(path), withoutSound);
    EXPECT_EQ(RegistryDword(kGameRegistryKey, L"WIDTH"), -1);
}

TEST(GameOptions, ALockedOrReadOnlyFileIsLeftAlone) {
    TempFolder install;
    const std::wstring path = SavedataFile(install);
    const std::string original = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"] = 1024");
    ASSERT_TRUE(WriteFileBytes(path, original));
    HANDLE locked = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SaveGameOptionsTo(path, GameOptions()));
    CloseHandle(locked);
    EXPECT_EQ(ReadFileBytes(path), original);

    // Marked read-only by the player: refused before anything is written beside it.
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(SaveGameOptionsTo(path, GameOptions()));
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_FALSE(FileExists(path + L".launcher-backup"));
    EXPECT_FALSE(FileExists(path + L".tmp"));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::wstring g_optionsPath;
std::wstring g_pathSeenByHook;
std::string g_contentSeenByHook;
std::string g_optionsSeenByHook;

bool FailTheWrite(const std::wstring& temporary) {
    g_pathSeenByHook = temporary;
    g_contentSeenByHook = ReadFileBytes(temporary);
    g_optionsSeenByHook = ReadFileBytes(g_optionsPath);
    return false;
}

TEST(GameOptions, AFailedWriteLeavesTheFileAndASuccessfulOneMirrorsTheRegistry) {
    TempFolder install;
    const std::wstring path = SavedataFile(install);
    const std::wstring backup = path + L".launcher-backup";
    const std::string original = ReplaceOnce(DefaultOptionsText(), "[\"HEIGHT\"] = 1080", "[\"HEIGHT\"] = 768");
    ASSERT_TRUE(WriteFileBytes(path, original));
    ForgetGameRegistryKeys();

    const GameOptions options = {1366, 768, true, true, false, 100, 64};
    g_optionsPath = path;
    g_contentSeenByHook = "not called";
    SetGameOptionsWriteHookForTest(FailTheWrite);
    const bool failedSave = SaveGameOptionsTo(path, options);
    SetGameOptionsWriteHookForTest(nullptr);
    EXPECT_FALSE(failedSave);
    // The whole new text sat in a file beside the options file, which itself was never
    // opened for writing: a crash at that moment would have left it whole.
    EXPECT_EQ(g_pathSeenByHook, path + L".tmp");
    EXPECT_EQ(ReadLuaInteger(g_contentSeenByHook, "OptionInfoList", "WIDTH", 0), 1366);
    EXPECT_EQ(ReadLuaInteger(g_contentSeenByHook, "CmdOnOffList", "/sound", 1), 0);
    EXPECT_EQ(g_optionsSeenByHook, original);
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_FALSE(FileExists(path + L".tmp"));
    EXPECT_EQ(RegistryDword(kGameRegistryKey, L"WIDTH"), -1);

    // A backup an earlier launcher left, read-only like the file it copied, goes too.
    ASSERT_TRUE(WriteFileBytes(backup, original) && SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SaveGameOptionsTo(path, options));
    EXPECT_FALSE(FileExists(backup));
    EXPECT_FALSE(FileExists(path + L".tmp"));
    ExpectOptions(LoadGameOptionsFrom(path), 1366, 768, true, true, false, 100, 64);
    for (const wchar_t* key : {kGameRegistryKey, kGameSetupRegistryKey}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(RegistryDword(key, L"WIDTH"), 1366);
        EXPECT_EQ(RegistryDword(key, L"HEIGHT"), 768);
        EXPECT_EQ(RegistryDword(key, L"ISFULLSCREENMODE"), 1);
        EXPECT_EQ(RegistryDword(key, L"Bgm_Volume"), 100);
        EXPECT_EQ(RegistryDword(key, L"Effect_Volume"), 64);
        EXPECT_EQ(RegistryDword(key, L"/sound"), -1);  // the switches are not mirrored
    }

    // A negative number keeps its bits in the DWORD.
    SetGameRegistryDword(L"WIDTH", static_cast<std::uint32_t>(-2));
    EXPECT_EQ(RegistryDword(kGameSetupRegistryKey, L"WIDTH"), 0xFFFFFFFEll);
    ForgetGameRegistryKeys();
}

TEST(GameOptions, LargeAndHostileFilesSaveSafely) {
    TempFolder install;
    const std::wstring path = SavedataFile(install);
    // A run of spaces that would overflow the stack of a regular-expression engine.
    const std::string spaces(100000, ' ');
    const std::string hostile =
        ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"]" + spaces + "=" + spaces + "1920");
    ASSERT_TRUE(WriteFileBytes(path, hostile));
    GameOptions options;
    options.Width = 2560;
    options.Height = 1440;
    EXPECT_EQ(LoadGameOptionsFrom(path).Width, 1920);
    ASSERT_TRUE(SaveGameOptionsTo(path, options));
    const std::string saved = ReadFileBytes(path);
    EXPECT_EQ(saved.size(), hostile.size());
    EXPECT_NE(saved.find("[\"WIDTH\"]" + spaces + "=" + spaces + "2560\r\n"), std::string::npos);

    ExpectOptions(LoadGameOptionsFrom(path), 2560, 1440, false, true, true, 17, 17);
}

}  // namespace
