#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <vector>

#include "play/client_interface.h"
#include "play/game_launch.h"
#include "state/launcher_config.h"
#include "support/client_record.h"
#include "support/in_process_window.h"

// The two boxes of a client start that cannot happen. The started client itself is
// checked by the sign-in tests, which reach it the way Play does.

namespace {

struct LaunchOutcome {
    bool started = false;
    BoxSeen box;
};

// Runs LaunchClient on this thread while another one answers (and reads) its box.
LaunchOutcome LaunchAnsweringTheBox(const wchar_t* arguments) {
    auto answers = AnswerBoxes({IDOK});
    LaunchOutcome outcome;
    outcome.started = LaunchClient(nullptr, arguments);
    const std::vector<BoxSeen> boxes = answers.get();
    if (!boxes.empty()) outcome.box = boxes[0];
    return outcome;
}

class GameLaunchFailure : public ::testing::Test {
protected:
    TempFolder install;
    void SetUp() override {
        ResetLauncherDataFolder();
        ASSERT_TRUE(WriteInstallPath(install.path));
    }
    void TearDown() override { ResetLauncherDataFolder(); }
};

TEST_F(GameLaunchFailure, MissingClientGivesTheNotInstalledBox) {
    // The client sits in another folder than the stored one: nothing may start it.
    TempFolder elsewhere;
    ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, (elsewhere / kClientExecutableName).c_str(), FALSE));
    const LaunchOutcome outcome = LaunchAnsweringTheBox(L"-t:ticket Wanderer -1sar1");
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(outcome.box.caption, L"Hollowmere Launcher");
    EXPECT_EQ(outcome.box.text, L"Sarnhold is not installed yet. Use Install or Repair first.");
    EXPECT_EQ(outcome.box.icon, BoxIcon::Error);
    Sleep(500);
    ClientStartRecord record;
    EXPECT_FALSE(ReadClientStartRecord(install.path, record));
    EXPECT_FALSE(ReadClientStartRecord(elsewhere.path, record));
}

TEST_F(GameLaunchFailure, ClientThatCannotStartGivesTheWindowsErrorInDecimal) {
    // Present, so it passes the installed test, but not a program Windows can run.
    ASSERT_TRUE(WriteFileBytes(install / kClientExecutableName, std::string(4096, 'x')));
    const LaunchOutcome outcome = LaunchAnsweringTheBox(L"-t:ticket Wanderer -1sar1");
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(outcome.box.caption, L"Hollowmere Launcher");
    EXPECT_EQ(outcome.box.icon, BoxIcon::Error);
    const std::wstring prefix = L"Could not launch Sarnhold. Windows error: ";
    ASSERT_EQ(outcome.box.text.compare(0, prefix.size(), prefix), 0) << outcome.box.text;
    const std::wstring code = outcome.box.text.substr(prefix.size());
    ASSERT_FALSE(code.empty());
    for (wchar_t c : code) EXPECT_TRUE(std::iswdigit(c)) << "not a decimal number: " << code;
    EXPECT_NE(code, L"0");
}

}  // namespace
