#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>

#include "crash/crash_runs.h"
#include "state/file_replace.h"
#include "state/session.h"
#include "support/test_files.h"

namespace {

constexpr int kSessionKills = 24;

// A token of the given size whose bytes depend on tag, so two tokens never share a
// prefix and a file mixed from both could not unprotect to either.
std::string MakeToken(char tag, size_t size) {
    std::mt19937 random(static_cast<unsigned>(tag));
    std::string token(size, '\0');
    for (char& byte : token) byte = static_cast<char>('!' + random() % 90);
    token[0] = tag;
    return token;
}

TEST(CrashSafety, SessionSaveKilledAnywhereKeepsTheOldOrTheNewSession) {
    ResetLauncherDataFolder();
    TempFolder scratch;
    // Larger than a real device token, so a write takes long enough for kills to land
    // inside it; the file's format and path are the product's own.
    const std::string first = MakeToken('A', 192 * 1024);
    const std::string second = MakeToken('B', 96 * 1024);
    ASSERT_TRUE(WriteFileBytes(scratch / L"first.token", first));
    ASSERT_TRUE(WriteFileBytes(scratch / L"second.token", second));
    const std::wstring sessionFile = SessionFilePath();
    const std::wstring temporary = ReplacementFilePath(sessionFile);

    // One save in this process sets the scale for the kill moments.
    const double started = NowMs();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(SaveSession(i % 2 ? first : second));
    const int cycleMs = static_cast<int>((NowMs() - started) / 4) + 1;

    std::mt19937 random(kCrashSeed);
    int kills = 0, aimed = 0, midWrite = 0, foundFirst = 0, foundSecond = 0;
    for (int round = 0; round < kSessionKills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round));
        ReadyEvent ready;
        LauncherRun run;
        ASSERT_TRUE(StartCrashWriter(L"session " + ready.name + L" " + Quoted(scratch / L"first.token") + L" " +
                                         Quoted(scratch / L"second.token"),
                                     run));
        ASSERT_TRUE(ready.WaitWhileRunning(run, 30000)) << "the writer ended with " << WaitForExit(run, 0);
        if (WaitForKillMoment(random, 4 * cycleMs, sessionFile, temporary, run)) ++aimed;
        // The writer saves until it is killed; had it ended, a save would have failed.
        ASSERT_TRUE(KillHard(run)) << "the writer ended with " << WaitForExit(run, 0);
        ++kills;
        if (FileExists(temporary)) ++midWrite;

        std::string token;
        ASSERT_TRUE(LoadSession(token)) << "session.bin no longer loads";
        ASSERT_TRUE(token == first || token == second) << "a session of " << token.size() << " bytes";
        ++(token == first ? foundFirst : foundSecond);
    }

    // The next run of the launcher saves over whatever a kill left beside the file.
    ASSERT_TRUE(SaveSession("after-the-crashes"));
    std::string token;
    ASSERT_TRUE(LoadSession(token));
    EXPECT_EQ(token, "after-the-crashes");
    EXPECT_FALSE(FileExists(temporary));
    if (!HasFailure()) {
        PrintCrashSummary("session save: " + std::to_string(kills) + " kills (" + std::to_string(aimed) +
                          " aimed at a write; " + std::to_string(midWrite) +
                          " with the new file half-written beside session.bin); session.bin loaded every time: " +
                          std::to_string(foundFirst) + " x first token, " + std::to_string(foundSecond) +
                          " x second, 0 lost");
    }
    ResetLauncherDataFolder();
}

}  // namespace
