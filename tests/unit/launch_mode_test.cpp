#include <gtest/gtest.h>

#include "app/launch_mode.h"

namespace {

LaunchMode Mode(std::initializer_list<const wchar_t*> words) {
    std::vector<std::wstring> arguments = {L"C:\\Launcher\\HollowmereLauncher.exe"};
    for (const wchar_t* word : words) arguments.emplace_back(word);
    return ChooseLaunchMode(arguments);
}

TEST(LaunchMode, ChoosesByFirstArgumentAndExactCounts) {
    EXPECT_EQ(Mode({}), LaunchMode::Main);
    EXPECT_EQ(ChooseLaunchMode({}), LaunchMode::Main);  // a command line that could not be split
    EXPECT_EQ(Mode({L"--settings"}), LaunchMode::Settings);
    EXPECT_EQ(Mode({L"--settings", L"x", L"y"}), LaunchMode::Settings);
    EXPECT_EQ(Mode({L"--self-update", L"C:\\a b\\L.exe", L"4242"}), LaunchMode::SelfUpdate);
    EXPECT_EQ(Mode({L"--self-update", L"C:\\L.exe"}), LaunchMode::Main);
    EXPECT_EQ(Mode({L"--self-update", L"C:\\L.exe", L"1", L"2"}), LaunchMode::Main);
    EXPECT_EQ(Mode({L"--self-test", L"C:\\t.ini"}), LaunchMode::SelfTest);
    EXPECT_EQ(Mode({L"--self-test"}), LaunchMode::Main);
    EXPECT_EQ(Mode({L"--self-test", L"a", L"b"}), LaunchMode::Main);
    EXPECT_EQ(Mode({L"x", L"--settings"}), LaunchMode::Main);  // only argument 1 counts
    EXPECT_EQ(Mode({L"--settingsx"}), LaunchMode::Main);
}

TEST(LaunchMode, IgnoresAsciiLetterCaseOnly) {
    EXPECT_EQ(Mode({L"--SETTINGS"}), LaunchMode::Settings);
    EXPECT_EQ(Mode({L"--Self-Update", L"t", L"1"}), LaunchMode::SelfUpdate);
    EXPECT_EQ(Mode({L"--SELF-TEST", L"t"}), LaunchMode::SelfTest);
    // A dotless capital I is not an ASCII letter: no match.
    EXPECT_EQ(Mode({L"--SETT\u0130NGS"}), LaunchMode::Main);
}

}  // namespace
