// The player's settings files: the game's options (a Lua text the launcher edits in
// place) and the font settings, whose saves must never damage what is there.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "play/client_interface.h"
#include "settings/font_settings.h"
#include "settings/game_options.h"
#include "settings/lua_options.h"
#include "support/clean_world.h"

namespace {

using namespace std::string_literals;

const std::string kTable = "OptionInfoList";

TEST(LuaOptions, MatchesTheRegularExpressionOnTrickyTexts) {
    std::vector<std::string> texts = {
        "OptionInfoList[\"WIDTH\"]\r\n=\r\n\t-5\r\n",
        "OptionInfoList[\"WIDTH\"] = - 5",
        "OptionInfoList[\"WIDTH\"] = -x\r\nOptionInfoList[\"WIDTH\"] = 77",
        "OptionInfoList[\"OLD_WIDTH\"] = 1\r\nOptionInfoList[\"WIDTH_2\"] = 2",
        "OptionInfoList[\"WIDTH\"] = 1920.5\r\nOptionInfoList[\"WIDTH\"] = 800",
        "OptionInfoList[\"WIDTH\"] = --7 OptionInfoList[\"WIDTH\"]=8",
        "a\0OptionInfoList[\"WIDTH\"]\0= 9 OptionInfoList[\"WIDTH\"] =\v\f 12x"s,
        "CmdOnOffList[\"WIDTH\"] = 5",
    };
    // Every byte value as the separator on both sides of the equals sign pins down
    // exactly which characters count as white space.
    for (int byte = 0; byte < 256; ++byte)
        texts.push_back("OptionInfoList[\"WIDTH\"]" + std::string(2, static_cast<char>(byte)) + "=" +
                        std::string(1, static_cast<char>(byte)) + "42");
    // The reference: the line form written as the regular expression it stands for.
    const std::regex pattern("(OptionInfoList\\[\\\"WIDTH\\\"\\]\\s*=\\s*)(-?[0-9]+)");
    for (const std::string& text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        std::smatch match;
        const bool found = std::regex_search(text, match, pattern);
        EXPECT_EQ(ReadLuaInteger(text, kTable, "WIDTH", -123), found ? std::stoi(match.str(2)) : -123);
        std::string expected = text, edited = text;
        if (found) expected.replace(match.position(2), match.length(2), "-640");
        EXPECT_EQ(ReplaceLuaInteger(edited, kTable, "WIDTH", -640), found);
        EXPECT_EQ(edited, expected);
    }
}

TEST(LuaOptions, HostileTextsNeitherCrashNorStall) {
    // A run this long overflows the stack of the library's regular-expression engine.
    const std::string spaces(100000, ' ');
    std::string text = "OptionInfoList[\"WIDTH\"]" + spaces + "=" + spaces + "1366\r\n";
    ASSERT_TRUE(ReplaceLuaInteger(text, kTable, "WIDTH", 800));
    EXPECT_EQ(text, "OptionInfoList[\"WIDTH\"]" + spaces + "=" + spaces + "800\r\n");
    // Many near misses, each followed by a long run, and the real line at the very end.
    std::string nearMisses;
    for (int i = 0; i < 2000; ++i) nearMisses += "OptionInfoList[\"WIDTH\"]" + std::string(1000, '\n') + "x";
    EXPECT_EQ(ReadLuaInteger(nearMisses + "OptionInfoList[\"WIDTH\"] = 1024", kTable, "WIDTH", 0), 1024);
}

TEST(LuaOptions, EverySliderPositionSurvivesASaveAndALoad) {
    EXPECT_EQ(VolumeToPercent(17), 13);
    EXPECT_EQ(PercentToVolume(13), 17);
    for (int percent = 0; percent <= 100; ++percent) EXPECT_EQ(VolumeToPercent(PercentToVolume(percent)), percent);
}

class GameOptionsFile : public CleanWorld {
protected:
    std::wstring path = folder / L"savedata\\OptionInfo.lua";
};

TEST_F(GameOptionsFile, AMissingOrEmptyFileStartsFromTheBuiltInText) {
    const std::string expected =
        ReplaceOnce(DefaultOptionsText(), "[\"ISFULLSCREENMODE\"] = 1", "[\"ISFULLSCREENMODE\"] = 0");
    ASSERT_TRUE(SaveGameOptionsTo(path, GameOptions()));
    EXPECT_EQ(ReadFileBytes(path), expected);
    ASSERT_TRUE(WriteFileBytes(path, ""));
    ASSERT_TRUE(SaveGameOptionsTo(path, GameOptions()));
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST_F(GameOptionsFile, SavingChangesOnlyTheDigitsOfTheFirstLinesAndMirrorsTheRegistry) {
    std::string text = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"]=1920");
    text = ReplaceOnce(text, "[\"HEIGHT\"] = 1080", "[\"HEIGHT\"] = 1080.5") + "OptionInfoList[\"WIDTH\"] = 640\r\n";
    ASSERT_TRUE(WriteFileBytes(path, text));
    // A backup an earlier launcher left, read-only like the file it copied, goes too.
    const std::wstring backup = path + L".launcher-backup";
    ASSERT_TRUE(WriteFileBytes(backup, text) && SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SaveGameOptionsTo(path, {1600, 1200, true, false, true, 127, 0}));
    std::string expected = ReplaceOnce(text, "[\"WIDTH\"]=1920", "[\"WIDTH\"]=1600");
    expected = ReplaceOnce(expected, "[\"HEIGHT\"] = 1080.5", "[\"HEIGHT\"] = 1200.5");
    expected = ReplaceOnce(expected, "[\"OLD_WIDTH\"] = 1920", "[\"OLD_WIDTH\"] = 1600");
    expected = ReplaceOnce(expected, "[\"OLD_HEIGHT\"] = 1080", "[\"OLD_HEIGHT\"] = 1200");
    expected = ReplaceOnce(expected, "[\"Bgm_Volume\"] = 17", "[\"Bgm_Volume\"] = 127");
    expected = ReplaceOnce(expected, "[\"Effect_Volume\"] = 17", "[\"Effect_Volume\"] = 0");
    EXPECT_EQ(ReadFileBytes(path), ReplaceOnce(expected, "[\"/bgm\"] = 1", "[\"/bgm\"] = 0"));
    EXPECT_FALSE(FileExists(backup));
    for (const wchar_t* key : {kGameRegistryKey, kGameSetupRegistryKey}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(RegistryDword(key, L"WIDTH"), 1600);
        EXPECT_EQ(RegistryDword(key, L"ISFULLSCREENMODE"), 1);
        EXPECT_EQ(RegistryDword(key, L"Effect_Volume"), 0);
    }
}

TEST_F(GameOptionsFile, AFileMissingALineLoadsButIsNeverWritten) {
    const std::string withoutSound = ReplaceOnce(DefaultOptionsText(), "CmdOnOffList[\"/sound\"] = 1\r\n", "");
    ASSERT_TRUE(WriteFileBytes(path, withoutSound));
    EXPECT_TRUE(LoadGameOptionsFrom(path).SoundOn);
    EXPECT_FALSE(SaveGameOptionsTo(path, {800, 600, false, true, true, 17, 17}));
    EXPECT_EQ(ReadFileBytes(path), withoutSound);
    EXPECT_EQ(RegistryDword(kGameRegistryKey, L"WIDTH"), -1);
}

// A file another program holds, one the player made read-only, and a save whose new
// text cannot be written beside the file all leave it as it was.
TEST_F(GameOptionsFile, AFileThatCannotBeReplacedIsLeftWhole) {
    const std::string original = ReplaceOnce(DefaultOptionsText(), "[\"WIDTH\"] = 1920", "[\"WIDTH\"] = 1024");
    ASSERT_TRUE(WriteFileBytes(path, original));
    HANDLE locked = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SaveGameOptionsTo(path, GameOptions()));
    CloseHandle(locked);
    EXPECT_EQ(ReadFileBytes(path), original);

    ASSERT_TRUE(CreateDirectoryW((path + L".tmp").c_str(), nullptr));
    EXPECT_FALSE(SaveGameOptionsTo(path, GameOptions()));
    EXPECT_EQ(ReadFileBytes(path), original);
    ASSERT_TRUE(RemoveDirectoryW((path + L".tmp").c_str()));

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(SaveGameOptionsTo(path, GameOptions()));
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_FALSE(FileExists(path + L".tmp"));
    EXPECT_EQ(RegistryDword(kGameRegistryKey, L"WIDTH"), -1);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Every field on one line, so whole records compare at once.
std::wstring Describe(const FontSettings& f) {
    return std::to_wstring(f.Enabled) + L"|" + f.FontName + L"|" + std::to_wstring(f.ReplaceAllFontNames) + L"|" +
           std::to_wstring(f.ScalePercent) + L"|" + std::to_wstring(f.WeightOffset) + L"|" +
           std::to_wstring(f.MinOriginalAbsHeight) + L"|" + std::to_wstring(f.MaxOriginalAbsHeight) + L"|" +
           std::to_wstring(f.MaxResultAbsHeight) + L"|" + std::to_wstring(f.BlockExternalUrls);
}

TEST(FontSettingsFile, DefaultsWithoutAFileAndSavedValuesBesideOtherKeys) {
    TempFolder folder;
    const std::wstring path = folder / L"SarnFont.ini";
    EXPECT_EQ(Describe(LoadFontSettings(path)), L"0|Tahoma|0|100|0|1|14|16|1");
    ASSERT_TRUE(WriteFileBytes(path, "[Font]\r\nCustom=keep me\r\nScalePercent=90\r\n[Other]\r\nA=1\r\n"));
    // Out of range: loading takes them as stored.
    ASSERT_TRUE(SaveFontSettings(path, {true, L"Malgun Gothic", true, 1000, -300, 0, 0, 255, false}));
    EXPECT_EQ(Describe(LoadFontSettings(path)), L"1|Malgun Gothic|1|1000|-300|0|0|255|0");
    const std::string saved = ReadFileBytes(path);
    EXPECT_NE(saved.find("Custom=keep me"), std::string::npos);
    EXPECT_NE(saved.find("[Other]\r\nA=1"), std::string::npos);
}

std::wstring g_copySeen;
std::string g_fileSeen;
std::wstring g_fontFile;

bool FailBeforeReplace(const std::wstring& temporary) {
    g_copySeen = Describe(LoadFontSettings(temporary));
    g_fileSeen = ReadFileBytes(g_fontFile);
    return false;
}

TEST(FontSettingsFile, AFailedSaveLeavesTheOldFileWholeAndNoCopy) {
    TempFolder folder;
    g_fontFile = folder / L"SarnFont.ini";
    const std::string old = "[Font]\r\nCustom=keep me\r\nScalePercent=90\r\n";
    ASSERT_TRUE(WriteFileBytes(g_fontFile, old));
    EXPECT_FALSE(SaveFontSettings(g_fontFile, {true, L"Courier", true, 150, 10, 2, 20, 40, false}, FailBeforeReplace));
    // Every key was in the copy beside the file while the file itself was still the old one.
    EXPECT_EQ(g_copySeen, L"1|Courier|1|150|10|2|20|40|0");
    EXPECT_EQ(g_fileSeen, old);
    EXPECT_EQ(ReadFileBytes(g_fontFile), old);
    EXPECT_FALSE(FileExists(g_fontFile + L".tmp"));
}

// One row per message, in the form's order, with the ranges at their edges.
TEST(FontValidation, RangesInOrderAtTheirEdges) {
    const struct {
        FontNumberTexts texts;
        const wchar_t* message;  // empty: valid
    } rows[] = {
        {{L" +25 ", L"-1000", L"0", L"0", L"0"}, L""},
        {{L"400", L"1000", L"255", L"255", L"255"}, L""},
        {{L"100", L"0", L"20", L"0", L"16"}, L""},  // a maximum of 0 is no limit
        {{L"150%", L"0", L"1", L"14", L"16"}, L"Scale percent must be a whole number."},
        {{L"99999999999", L"0", L"1", L"14", L"16"}, L"Scale percent must be a whole number."},
        {{L"401", L"y", L"1", L"14", L"z"}, L"Weight offset must be a whole number."},  // before any range
        {{L"100", L"0", L"1.5", L"14", L"16"}, L"Minimum original height must be a whole number."},
        {{L"100", L"0", L"1", L"", L"16"}, L"Maximum original height must be a whole number."},
        {{L"100", L"0", L"1", L"14", L"0x10"}, L"Maximum result height must be a whole number."},
        {{L"24", L"2000", L"1", L"14", L"16"}, L"Scale percent must be between 25 and 400."},
        {{L"401", L"0", L"1", L"14", L"16"}, L"Scale percent must be between 25 and 400."},
        {{L"100", L"-1001", L"1", L"14", L"16"}, L"Weight offset must be between -1000 and 1000."},
        {{L"100", L"0", L"-1", L"14", L"16"}, L"Minimum original height must be between 0 and 255."},
        {{L"100", L"0", L"1", L"256", L"16"}, L"Maximum original height must be between 0 and 255."},
        {{L"100", L"0", L"20", L"14", L"16"}, L"Minimum original height cannot exceed the maximum."},
        {{L"100", L"0", L"1", L"14", L"256"}, L"Maximum result height must be between 0 and 255."},
    };
    for (const auto& row : rows) {
        FontSettings settings;
        std::wstring message;
        EXPECT_EQ(ValidateFontSettings(settings, row.texts, message), *row.message == L'\0') << row.message;
        EXPECT_EQ(message, row.message);
    }
}

}  // namespace
