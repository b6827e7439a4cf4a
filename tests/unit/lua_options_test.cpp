#include <gtest/gtest.h>

#include <climits>
#include <regex>
#include <string>
#include <vector>

#include "settings/lua_options.h"

namespace {

using namespace std::string_literals;

const std::string kTable = "OptionInfoList";

// The reference: the line form written as the regular expressions it stands for.
// Only ever given short texts, which the library's engine handles.
bool RegexFind(const std::string& text, const std::string& key, size_t& position, size_t& length) {
    const std::regex pattern("(" + kTable + "\\[\\\"" + key + "\\\"\\]\\s*=\\s*)(-?[0-9]+)",
                             std::regex::ECMAScript);
    std::smatch match;
    if (!std::regex_search(text, match, pattern)) return false;
    position = static_cast<size_t>(match.position(2));
    length = static_cast<size_t>(match.length(2));
    return true;
}

std::vector<std::string> TrickyTexts() {
    return {
        "",
        "OptionInfoList[\"WIDTH\"] = 1920",
        "OptionInfoList[\"WIDTH\"]=1920",
        "OptionInfoList[\"WIDTH\"]\r\n=\r\n\t-5\r\n",
        "OptionInfoList[\"WIDTH\"] = - 5",
        "OptionInfoList[\"WIDTH\"] = -x\r\nOptionInfoList[\"WIDTH\"] = 77",
        "OptionInfoList[\"OLD_WIDTH\"] = 1",
        "XOptionInfoList[\"WIDTH\"] = 7",
        "OptionInfoList[\"width\"] = 7",
        "OptionInfoList[\"WIDTH\"] == 7",
        "OptionInfoList[ \"WIDTH\"] = 7",
        "OptionInfoList[\"WIDTH\"] = 1920.5",
        "OptionInfoList[\"WIDTH\"] = 007",
        "OptionInfoList[\"WIDTH\"] = --7 OptionInfoList[\"WIDTH\"]=8",
        "OptionInfoListOptionInfoList[\"WIDTH\"]=3",
        "OptionInfoList[\"WIDTH\"] = ",
        "OptionInfoList[\"WIDTH\"]",
        "OptionInfoList[\"WIDTH\"]\0= 9"s,
        "a\0OptionInfoList[\"WIDTH\"] =\v\f 12x"s,
        "OptionInfoList[\"WIDTH\"] = \"1920\"\r\nOptionInfoList[\"WIDTH\"] = 640",
        "CmdOnOffList[\"WIDTH\"] = 5",
    };
}

TEST(LuaOptions, MatchesTheRegularExpressionsOnTrickyTexts) {
    std::vector<std::string> texts = TrickyTexts();
    // Every byte value as the separator on both sides of the equals sign pins down
    // exactly which characters count as white space.
    for (int byte = 0; byte < 256; ++byte) {
        const std::string gap(1, static_cast<char>(byte));
        texts.push_back("OptionInfoList[\"WIDTH\"]" + gap + "=" + gap + "42");
    }
    for (const std::string& text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        size_t position = 0;
        size_t length = 0;
        const bool found = RegexFind(text, "WIDTH", position, length);
        const int expectedRead = found ? std::stoi(text.substr(position, length)) : -123;
        EXPECT_EQ(ReadLuaInteger(text, kTable, "WIDTH", -123), expectedRead);

        std::string expectedText = text;
        if (found) expectedText.replace(position, length, "-640");
        std::string edited = text;
        EXPECT_EQ(ReplaceLuaInteger(edited, kTable, "WIDTH", -640), found);
        EXPECT_EQ(edited, expectedText);
    }
}

TEST(LuaOptions, ReadsAndReplacesOnlyTheFirstNumberOfTheFirstLine) {
    std::string text = "OptionInfoList[\"WIDTH\"]=1920.5\r\nOptionInfoList[\"WIDTH\"] = 800\r\n";
    EXPECT_EQ(ReadLuaInteger(text, kTable, "WIDTH", 0), 1920);
    ASSERT_TRUE(ReplaceLuaInteger(text, kTable, "WIDTH", 1280));
    EXPECT_EQ(text, "OptionInfoList[\"WIDTH\"]=1280.5\r\nOptionInfoList[\"WIDTH\"] = 800\r\n");

    // Keys with a slash and with a space are taken literally.
    std::string switches = "CmdOnOffList[\"/bgm\"] = 1\r\nOptionInfoList[\"Emblem Frame\"] = 1\r\n";
    EXPECT_TRUE(ReplaceLuaInteger(switches, "CmdOnOffList", "/bgm", 0));
    EXPECT_TRUE(ReplaceLuaInteger(switches, kTable, "Emblem Frame", -2147483647 - 1));
    EXPECT_EQ(switches, "CmdOnOffList[\"/bgm\"] = 0\r\nOptionInfoList[\"Emblem Frame\"] = -2147483648\r\n");
    EXPECT_EQ(ReadLuaInteger(switches, kTable, "Emblem Frame", 0), INT_MIN);

    std::string missing = "CmdOnOffList[\"/bgm\"] = 1\r\n";
    EXPECT_FALSE(ReplaceLuaInteger(missing, "CmdOnOffList", "/sound", 1));
    EXPECT_EQ(missing, "CmdOnOffList[\"/bgm\"] = 1\r\n");
}

TEST(LuaOptions, NumbersBeyondThirtyTwoBitsReadAsTheDefaultAndAreStillReplaced) {
    std::string text = "OptionInfoList[\"WIDTH\"] = 99999999999\r\n";
    EXPECT_EQ(ReadLuaInteger(text, kTable, "WIDTH", 1920), 1920);
    ASSERT_TRUE(ReplaceLuaInteger(text, kTable, "WIDTH", 1600));
    EXPECT_EQ(text, "OptionInfoList[\"WIDTH\"] = 1600\r\n");

    EXPECT_EQ(ReadLuaInteger("OptionInfoList[\"W\"] = 2147483647", kTable, "W", 0), INT_MAX);
    EXPECT_EQ(ReadLuaInteger("OptionInfoList[\"W\"] = 2147483648", kTable, "W", 5), 5);
    EXPECT_EQ(ReadLuaInteger("OptionInfoList[\"W\"] = -2147483649", kTable, "W", 5), 5);
    EXPECT_EQ(ReadLuaInteger("OptionInfoList[\"W\"] = -0", kTable, "W", 5), 0);
    const std::string zeros = "OptionInfoList[\"W\"] = " + std::string(5000, '0') + "42";
    EXPECT_EQ(ReadLuaInteger(zeros, kTable, "W", 5), 42);
}

TEST(LuaOptions, HostileTextsNeitherCrashNorStall) {
    // A run this long overflows the stack of the library's regular-expression engine.
    const std::string spaces(100000, ' ');
    std::string text = "OptionInfoList[\"WIDTH\"]" + spaces + "=" + spaces + "1366\r\n";
    EXPECT_EQ(ReadLuaInteger(text, kTable, "WIDTH", 0), 1366);
    ASSERT_TRUE(ReplaceLuaInteger(text, kTable, "WIDTH", 800));
    EXPECT_EQ(text, "OptionInfoList[\"WIDTH\"]" + spaces + "=" + spaces + "800\r\n");

    // Many near misses, each followed by a long run, and the real line at the very end.
    std::string nearMisses;
    for (int i = 0; i < 2000; ++i) nearMisses += "OptionInfoList[\"WIDTH\"]" + std::string(1000, '\n') + "x";
    nearMisses += "OptionInfoList[\"WIDTH\"] = 1024";
    EXPECT_EQ(ReadLuaInteger(nearMisses, kTable, "WIDTH", 0), 1024);
    EXPECT_EQ(ReadLuaInteger(std::string(3000000, ' '), kTable, "WIDTH", 7), 7);
}

TEST(LuaOptions, VolumeConversionsRoundToTheNearestStep) {
    EXPECT_EQ(VolumeToPercent(17), 13);
    EXPECT_EQ(VolumeToPercent(127), 100);
    EXPECT_EQ(VolumeToPercent(64), 50);
    EXPECT_EQ(VolumeToPercent(0), 0);
    EXPECT_EQ(PercentToVolume(13), 17);
    EXPECT_EQ(PercentToVolume(100), 127);
    EXPECT_EQ(PercentToVolume(50), 64);
    EXPECT_EQ(PercentToVolume(0), 0);
    // Every slider position survives a save and a load.
    for (int percent = 0; percent <= 100; ++percent) EXPECT_EQ(VolumeToPercent(PercentToVolume(percent)), percent);
    // Stored values outside 0 to 127 convert without overflow, truncating toward zero.
    EXPECT_EQ(VolumeToPercent(-50), -38);
    EXPECT_EQ(VolumeToPercent(300), 236);
    EXPECT_EQ(VolumeToPercent(INT_MAX), 1690932006);
    EXPECT_EQ(VolumeToPercent(INT_MIN), -1690932005);
    EXPECT_EQ(PercentToVolume(INT_MAX), INT_MAX);
}

}  // namespace
