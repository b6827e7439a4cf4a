#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>

#include "crash/crash_runs.h"
#include "net/download.h"
#include "support/service_control.h"
#include "support/test_files.h"

namespace {

constexpr int kDownloadKills = 16;
constexpr long long kPackageSize = 6 * 1024 * 1024;
// Slow enough that a few dozen polls of the partial file fit into one transfer.
constexpr long long kBytesPerSecond = 3 * 1024 * 1024;
const std::string kPackagePath = "/download/crash/client.zip";

std::string RandomBytes(long long size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(static_cast<size_t>(size), '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST(CrashSafety, DownloadKilledAnywhereResumesToAByteIdenticalFile) {
    ASSERT_TRUE(ResetService()) << "the stand-in service does not answer";
    const std::string source = RandomBytes(kPackageSize, kCrashSeed);
    ASSERT_TRUE(ServeServiceFile(kPackagePath, source));
    ASSERT_TRUE(AddServiceSlowdown(kPackagePath, kBytesPerSecond));

    TempFolder folder;
    std::wstring digest;
    ASSERT_TRUE(WriteFileBytes(folder / L"source.bin", source));
    ASSERT_TRUE(Sha256OfFile(folder / L"source.bin", digest));
    const std::wstring target = folder / L"data\\client.zip";
    const std::wstring partial = target + L".download";
    const std::wstring arguments = L"download " + Quoted(ServiceTestUrl(kPackagePath)) + L" " + Quoted(target) +
                                   L" " + std::to_wstring(kPackageSize) + L" " + digest;

    std::mt19937 random(kCrashSeed + 2);
    int kills = 0, resumed = 0, fromStart = 0, beforeRequest = 0, whileVerifying = 0;
    long long killedAtBytes = 0;
    bool finished = false;
    for (int round = 0; round < kDownloadKills && !finished; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round));
        const long long before = FileSize(partial) < 0 ? 0 : FileSize(partial);
        ASSERT_TRUE(ClearServiceRequests());
        LauncherRun run;
        ASSERT_TRUE(StartCrashWriter(arguments, run));
        if (RandomBetween(random, 0, 4) == 0) {
            // Anywhere from the process start through the request to the first bytes.
            Sleep(static_cast<DWORD>(RandomBetween(random, 0, 400)));
        } else {
            const long long threshold = before + RandomBetween(random, 1, static_cast<int>(kPackageSize / 8));
            if (threshold < kPackageSize) {
                WaitForFileSize(partial, threshold, run, 30000);
            } else {
                // All bytes are there: the kill lands in the digest check or the move.
                WaitForFileSize(partial, kPackageSize, run, 30000);
                Sleep(static_cast<DWORD>(RandomBetween(random, 0, 40)));
                ++whileVerifying;
            }
        }
        if (!KillHard(run)) {
            ASSERT_EQ(WaitForExit(run, 0), 0u) << "the download failed on its own";
            finished = true;
        } else {
            ++kills;
        }

        const std::string range = FirstRangeRequested(kPackagePath);
        if (range.empty()) {
            ++beforeRequest;
        } else if (before > 0) {
            EXPECT_EQ(range, "bytes=" + std::to_string(before) + "-") << "the next run did not resume";
            ++resumed;
        } else {
            EXPECT_EQ(range, "none");
            ++fromStart;
        }
        // What reached the disk is always the source's first bytes, never fewer than before.
        if (FileExists(partial)) {
            const std::string kept = ReadFileBytes(partial);
            ASSERT_TRUE(IsPrefixOf(kept, source)) << "the partial file is not a prefix of the source";
            EXPECT_GE(static_cast<long long>(kept.size()), before);
            killedAtBytes = static_cast<long long>(kept.size());
        } else {
            // Killed after the verified file had been moved into place.
            finished = FileExists(target);
        }
    }
    if (!finished) {
        ASSERT_TRUE(ClearServiceRequests());
        const long long before = FileSize(partial);
        LauncherRun run;
        ASSERT_TRUE(StartCrashWriter(arguments, run));
        ASSERT_EQ(WaitForExit(run, 60000), 0u) << "the last run did not complete the download";
        if (before > 0 && before < kPackageSize) {
            EXPECT_EQ(FirstRangeRequested(kPackagePath), "bytes=" + std::to_string(before) + "-");
            ++resumed;
        }
    }

    EXPECT_TRUE(ReadFileBytes(target) == source) << "the downloaded file differs from the source";
    EXPECT_FALSE(FileExists(partial));
    EXPECT_GE(resumed, 3) << "too few runs got as far as a resumed request";
    if (!HasFailure()) {
        PrintCrashSummary("download (" + std::to_string(kPackageSize) + " bytes at " +
                          std::to_string(kBytesPerSecond) + " bytes/s): " + std::to_string(kills) + " kills (" +
                          std::to_string(beforeRequest) + " before any request, " + std::to_string(whileVerifying) +
                          " aimed at the digest check, last at " + std::to_string(killedAtBytes) + " bytes); " +
                          std::to_string(resumed) + " runs resumed with the right range, " + std::to_string(fromStart) +
                          " started at 0; final file byte-identical");
    }
    ResetService();
}

}  // namespace
