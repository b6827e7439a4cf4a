#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "install/disk_room.h"
#include "net/transfer_figures.h"

namespace {

constexpr std::uint64_t kMiB = 1048576;

TEST(TransferFigures, SizesRoundTheWayTheyAreRead) {
    struct Row {
        std::uint64_t bytes;
        bool roundUp;
        const wchar_t* text;
    };
    const Row rows[] = {
        {512, false, L"512 bytes"},          {1536, false, L"1.5 KB"},
        {4 * kMiB - 1, false, L"3.9 MB"},    {4 * kMiB - 1, true, L"4.0 MB"},
        {3400000000, false, L"3.1 GB"},      {3400000000, true, L"3.2 GB"},
        {150 * kMiB, true, L"150 MB"},       {104805172, false, L"99.9 MB"},
        {104805172, true, L"100 MB"},        {5 * 1024 * 1024 * kMiB, false, L"5.0 TB"},
    };
    for (const Row& row : rows) EXPECT_EQ(FormatByteSize(row.bytes, row.roundUp), row.text) << row.bytes;
}

TEST(TransferFigures, SpeedAndTimeLeftComeFromTheLastFewSeconds) {
    struct Row {
        const char* name;
        std::vector<TransferSample> samples;  // time in ms, bytes received
        std::uint64_t total;
        const wchar_t* text;
    };
    std::vector<TransferSample> changing;  // 1 MiB/s for 10 s, then 4 MiB/s for 5 s
    for (std::uint64_t second = 0; second <= 15; ++second) {
        changing.push_back({second * 1000, second <= 10 ? second * kMiB : (10 + (second - 10) * 4) * kMiB});
    }
    const Row rows[] = {
        {"one sample", {{0, 0}}, 1000 * kMiB, L""},
        {"under two seconds", {{0, 0}, {1900, 19 * kMiB}}, 1000 * kMiB, L""},
        {"steady", {{0, 0}, {1000, 10 * kMiB}, {2000, 20 * kMiB}, {3000, 30 * kMiB}}, 1000 * kMiB,
         L" \u00B7 10.0 MB/s \u00B7 2 min left"},
        {"the old speed is forgotten", changing, 1000 * kMiB, L" \u00B7 4.0 MB/s \u00B7 4 min left"},
        {"a count that does not grow keeps its first time", {{0, 0}, {1000, kMiB}, {2500, kMiB}}, 100 * kMiB, L""},
        {"slow steps still give a figure", {{0, 0}, {30000, 30 * kMiB}, {60000, 60 * kMiB}}, 105 * kMiB,
         L" \u00B7 1.0 MB/s \u00B7 45 s left"},
        {"a restart begins afresh", {{0, 0}, {3000, 30 * kMiB}, {4000, 0}, {5000, kMiB}}, 100 * kMiB, L""},
        {"unknown total", {{0, 0}, {2000, 2 * kMiB}}, 0, L" \u00B7 1.0 MB/s"},
        {"hours", {{0, 0}, {2000, 204800}}, 204800 + 102400ull * 3725, L" \u00B7 100 KB/s \u00B7 1 h 2 min left"},
        {"past 99 hours", {{0, 0}, {2000, 2048}}, 400 * kMiB, L" \u00B7 1.0 KB/s"},
        {"done", {{0, 0}, {2000, 2 * kMiB}}, 2 * kMiB, L" \u00B7 1.0 MB/s"},
    };
    for (const Row& row : rows) {
        TransferRate rate;
        for (const TransferSample& sample : row.samples) AddTransferSample(rate, sample.timeMs, sample.bytes);
        EXPECT_EQ(TransferFiguresText(rate, row.total), row.text) << row.name;
    }
}

TEST(DiskRoom, BothCopiesOfThePackageMustFitBeforeTheDownload) {
    struct Row {
        const char* name;
        DriveSpace data;
        DriveSpace install;
        std::uint64_t partial;
        const wchar_t* message;  // empty: it fits
    };
    const std::uint64_t package = 8 * kMiB;
    const Row rows[] = {
        {"two drives with room", {L"C:\\", package}, {L"D:\\", package}, 0, L""},
        {"one drive needs both", {L"C:\\", 2 * package - 1}, {L"c:\\", 100 * package}, 0,
         L"There is not enough free space on drive C: for this install. It needs 16.0 MB there, and 15.9 MB is "
         L"free. Free some space and try again."},
        {"one drive with room for both", {L"C:\\", 2 * package}, {L"C:\\", 2 * package}, 0, L""},
        {"a partial download counts", {L"C:\\", package - 3 * kMiB}, {L"D:\\", package}, 3 * kMiB, L""},
        {"a partial longer than the package does not",
         {L"C:\\Mount\\Data\\", package - 1},
         {L"D:\\", package},
         package + 1,
         L"There is not enough free space on drive C:\\Mount\\Data\\ for this install. It needs 8.0 MB there, and "
         L"7.9 MB is free. Free some space and try again."},
        {"the install drive is short", {L"C:\\", package}, {L"Q:\\", 4 * kMiB}, 0,
         L"There is not enough free space on drive Q: for this install. It needs 8.0 MB there, and 4.0 MB is free. "
         L"Free some space and try again."},
    };
    for (const Row& row : rows) {
        std::wstring message;
        EXPECT_EQ(CheckInstallRoom(row.data, row.install, package, row.partial, message), *row.message == L'\0')
            << row.name;
        EXPECT_EQ(message, row.message) << row.name;
    }
}

}  // namespace
