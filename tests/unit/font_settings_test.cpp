#include <gtest/gtest.h>
#include <windows.h>

#include "settings/font_settings.h"
#include "support/test_files.h"

#include <string>

namespace {

FontNumberTexts Texts(const wchar_t* scale, const wchar_t* weight, const wchar_t* minimum, const wchar_t* maximum,
                      const wchar_t* result) {
    return FontNumberTexts{scale, weight, minimum, maximum, result};
}

std::wstring Problem(const FontNumberTexts& texts) {
    FontSettings settings;
    std::wstring message;
    if (ValidateFontSettings(settings, texts, message)) return L"ok";
    return message;
}

// Every field on one line, so whole records compare at once.
std::wstring Describe(const FontSettings& f) {
    return std::to_wstring(f.Enabled) + L"|" + f.FontName + L"|" + std::to_wstring(f.ReplaceAllFontNames) + L"|" +
           std::to_wstring(f.ScalePercent) + L"|" + std::to_wstring(f.WeightOffset) + L"|" +
           std::to_wstring(f.MinOriginalAbsHeight) + L"|" + std::to_wstring(f.MaxOriginalAbsHeight) + L"|" +
           std::to_wstring(f.MaxResultAbsHeight) + L"|" + std::to_wstring(f.BlockExternalUrls);
}

TEST(FontSettingsFile, DefaultsWithoutAFileAndStoredValuesLoadUnchecked) {
    TempFolder folder;
    const std::wstring path = folder / L"SarnFont.ini";
    EXPECT_EQ(Describe(LoadFontSettings(path)), L"0|Tahoma|0|100|0|1|14|16|1");
    // Out of range: loading takes them as stored.
    const FontSettings written = {true, L"Malgun Gothic", true, 1000, -300, 0, 0, 255, false};
    ASSERT_TRUE(SaveFontSettings(path, written));
    EXPECT_EQ(Describe(LoadFontSettings(path)), L"1|Malgun Gothic|1|1000|-300|0|0|255|0");
}

TEST(FontSettingsFile, NameIsCutTo31CharactersAndEmptyNameStaysEmpty) {
    TempFolder folder;
    const std::wstring path = folder / L"SarnFont.ini";
    WriteFileBytes(path, "[Font]\r\nFontName=" + std::string(40, 'F') + "\r\n");
    EXPECT_EQ(LoadFontSettings(path).FontName, std::wstring(31, L'F'));
    WriteFileBytes(path, "[Font]\r\nFontName=\r\n");
    EXPECT_EQ(LoadFontSettings(path).FontName, L"");
}

TEST(FontSettingsFile, SavingKeepsOtherKeysAndWritesNewFileInOrder) {
    TempFolder folder;
    const std::wstring path = folder / L"SarnFont.ini";
    ASSERT_TRUE(SaveFontSettings(path, FontSettings{}));
    const std::string fresh = ReadFileBytes(path);
    const char* order[] = {"[Font]", "Enabled=0", "FontName=Tahoma", "ReplaceAllFontNames=0", "ScalePercent=100",
                           "WeightOffset=0", "MinOriginalAbsHeight=1", "MaxOriginalAbsHeight=14",
                           "MaxResultAbsHeight=16", "[Browser]", "BlockExternalUrls=1"};
    size_t at = 0;
    for (const char* piece : order) {
        const size_t found = fresh.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << " in\n" << fresh;
        at = found;
    }
    WriteFileBytes(path, "[Font]\r\nCustom=keep me\r\nScalePercent=90\r\n[Other]\r\nA=1\r\n");
    ASSERT_TRUE(SaveFontSettings(path, FontSettings{}));
    const std::string edited = ReadFileBytes(path);
    EXPECT_NE(edited.find("Custom=keep me"), std::string::npos);
    EXPECT_NE(edited.find("[Other]"), std::string::npos);
    EXPECT_NE(edited.find("ScalePercent=100"), std::string::npos);
    EXPECT_EQ(edited.find("ScalePercent=90"), std::string::npos);
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
    const FontSettings wanted = {true, L"Courier", true, 150, 10, 2, 20, 40, false};
    EXPECT_FALSE(SaveFontSettings(g_fontFile, wanted, FailBeforeReplace));
    // Every key was in the copy beside the file while the file itself was still the old one.
    EXPECT_EQ(g_copySeen, L"1|Courier|1|150|10|2|20|40|0");
    EXPECT_EQ(g_fileSeen, old);
    EXPECT_EQ(ReadFileBytes(g_fontFile), old);
    EXPECT_FALSE(FileExists(g_fontFile + L".tmp"));
}

TEST(FontSettingsFile, SaveInMissingFolderFailsWithAnErrorCode) {
    TempFolder folder;
    SetLastError(0);
    EXPECT_FALSE(SaveFontSettings(folder / L"missing\\SarnFont.ini", FontSettings{}));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_FALSE(FileExists(folder / L"missing"));
}

TEST(FontValidation, NumberTextsMustBeWholeNumbers) {
    EXPECT_EQ(Problem(Texts(L" 150 ", L"0", L"1", L"14", L"16")), L"ok");
    EXPECT_EQ(Problem(Texts(L"+150", L"-0", L"1", L"14", L"16")), L"ok");
    EXPECT_EQ(Problem(Texts(L"150%", L"0", L"1", L"14", L"16")), L"Scale percent must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"", L"0", L"1", L"14", L"16")), L"Scale percent must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"99999999999", L"0", L"1", L"14", L"16")), L"Scale percent must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"-", L"0", L"1", L"14", L"16")), L"Scale percent must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"1 5", L"0", L"1", L"14", L"16")), L"Scale percent must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"100", L"x", L"1", L"14", L"16")), L"Weight offset must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"1.5", L"14", L"16")), L"Minimum original height must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"1", L"", L"16")), L"Maximum original height must be a whole number.");
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"1", L"14", L"0x10")), L"Maximum result height must be a whole number.");
    // Two bad fields: the first in form order is reported, before any range check.
    EXPECT_EQ(Problem(Texts(L"401", L"y", L"1", L"14", L"z")), L"Weight offset must be a whole number.");
}

TEST(FontValidation, RangesInOrderAtTheirEdges) {
    EXPECT_EQ(Problem(Texts(L"25", L"-1000", L"0", L"0", L"0")), L"ok");
    EXPECT_EQ(Problem(Texts(L"400", L"1000", L"255", L"255", L"255")), L"ok");
    EXPECT_EQ(Problem(Texts(L"24", L"0", L"1", L"14", L"16")), L"Scale percent must be between 25 and 400.");
    EXPECT_EQ(Problem(Texts(L"401", L"0", L"1", L"14", L"16")), L"Scale percent must be between 25 and 400.");
    EXPECT_EQ(Problem(Texts(L"100", L"-1001", L"1", L"14", L"16")), L"Weight offset must be between -1000 and 1000.");
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"-1", L"14", L"16")),
              L"Minimum original height must be between 0 and 255.");
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"1", L"256", L"16")),
              L"Maximum original height must be between 0 and 255.");
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"20", L"14", L"16")), L"Minimum original height cannot exceed the maximum.");
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"20", L"0", L"16")), L"ok");  // 0 = no limit
    EXPECT_EQ(Problem(Texts(L"100", L"0", L"1", L"14", L"256")), L"Maximum result height must be between 0 and 255.");
    EXPECT_EQ(Problem(Texts(L"500", L"2000", L"1", L"14", L"16")), L"Scale percent must be between 25 and 400.");
}

TEST(FontValidation, StoresParsedNumbersAndKeepsTheOtherFields) {
    FontSettings settings;
    settings.Enabled = true;
    settings.FontName = L"";
    std::wstring message = L"untouched";
    ASSERT_TRUE(ValidateFontSettings(settings, Texts(L"150", L"-20", L"3", L"0", L"40"), message));
    EXPECT_EQ(message, L"untouched");
    EXPECT_EQ(Describe(settings), L"1||0|150|-20|3|0|40|1");
}

TEST(FontSelfTest, WritesTheFixedRecordOrFailsWith20) {
    TempFolder folder;
    const std::wstring path = folder / L"selftest.ini";
    EXPECT_EQ(RunFontSelfTest(path), 0);
    const std::string text = ReadFileBytes(path);
    for (const char* line : {"Enabled=0", "FontName=Tahoma", "ReplaceAllFontNames=1", "ScalePercent=123",
                             "WeightOffset=75", "MinOriginalAbsHeight=2", "MaxOriginalAbsHeight=18",
                             "MaxResultAbsHeight=20", "BlockExternalUrls=0"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(RunFontSelfTest(folder / L"missing\\selftest.ini"), 20);
}

}  // namespace
