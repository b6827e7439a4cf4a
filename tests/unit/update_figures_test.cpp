#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "install/disk_room.h"
#include "net/transfer_figures.h"
#include "update/manifest_rules.h"
#include "update/pe_version.h"
#include "support/test_files.h"

// What the player is told about an update and its download, and which updates are taken.

namespace {

constexpr std::uint64_t kMiB = 1048576;

TEST(TransferFigures, SpeedAndTimeLeftComeFromTheLastFewSeconds) {
    std::vector<TransferSample> changing;  // 1 MiB/s for 10 s, then 4 MiB/s for 5 s
    for (std::uint64_t second = 0; second <= 15; ++second)
        changing.push_back({second * 1000, second <= 10 ? second * kMiB : (10 + (second - 10) * 4) * kMiB});
    const struct {
        const char* name;
        std::vector<TransferSample> samples;  // time in ms, bytes received
        std::uint64_t total;
        const wchar_t* text;
    } rows[] = {
        {"one sample", {{0, 0}}, 1000 * kMiB, L""},
        {"steady", {{0, 0}, {1000, 10 * kMiB}, {2000, 20 * kMiB}, {3000, 30 * kMiB}}, 1000 * kMiB,
         L" \u00B7 10.0 MB/s \u00B7 2 min left"},
        {"the old speed is forgotten", changing, 1000 * kMiB, L" \u00B7 4.0 MB/s \u00B7 4 min left"},
        {"a count that does not grow keeps its first time", {{0, 0}, {1000, kMiB}, {2500, kMiB}}, 100 * kMiB, L""},
        {"a restart begins afresh", {{0, 0}, {3000, 30 * kMiB}, {4000, 0}, {5000, kMiB}}, 100 * kMiB, L""},
        {"unknown total", {{0, 0}, {2000, 2 * kMiB}}, 0, L" \u00B7 1.0 MB/s"},
        {"hours", {{0, 0}, {2000, 204800}}, 204800 + 102400ull * 3725, L" \u00B7 100 KB/s \u00B7 1 h 2 min left"},
        {"past 99 hours", {{0, 0}, {2000, 2048}}, 400 * kMiB, L" \u00B7 1.0 KB/s"},
    };
    for (const auto& row : rows) {
        TransferRate rate;
        for (const TransferSample& sample : row.samples) AddTransferSample(rate, sample.timeMs, sample.bytes);
        EXPECT_EQ(TransferFiguresText(rate, row.total), row.text) << row.name;
    }
}

// The message that names the drive that is short; sizes round up what is needed and
// down what is free, so neither reads more favourably than it is.
std::wstring NoRoom(const std::wstring& drive, const std::wstring& needs, const std::wstring& free) {
    return L"There is not enough free space on drive " + drive + L" for this install. It needs " + needs +
           L" there, and " + free + L" is free. Free some space and try again.";
}

TEST(DiskRoom, BothCopiesOfThePackageMustFitBeforeTheDownload) {
    const std::uint64_t package = 8 * kMiB;
    const struct {
        DriveSpace data, install;
        std::uint64_t partial;
        std::wstring message;  // empty: it fits
    } rows[] = {
        {{L"C:\\", 2 * package - 1}, {L"c:\\", 100 * package}, 0, NoRoom(L"C:", L"16.0 MB", L"15.9 MB")},
        {{L"C:\\", package - 3 * kMiB}, {L"D:\\", package}, 3 * kMiB, L""},  // a partial download counts
        {{L"C:\\Mount\\", package - 1}, {L"D:\\", package}, package + 1,  // unless it is longer than the package
         NoRoom(L"C:\\Mount\\", L"8.0 MB", L"7.9 MB")},
        {{L"C:\\", package}, {L"Q:\\", 4 * kMiB}, 0, NoRoom(L"Q:", L"8.0 MB", L"4.0 MB")},
    };
    for (const auto& row : rows) {
        std::wstring message;
        EXPECT_EQ(CheckInstallRoom(row.data, row.install, package, row.partial, message), row.message.empty());
        EXPECT_EQ(message, row.message);
    }
}

const std::vector<std::pair<std::string, std::string>> kValid = {
    {"client_version", "1.2.3"},   {"client_url", "https://cdn.example/c.zip?sig=a%2Fb"},
    {"client_size", "3400000000"}, {"client_sha256", "ABCDEF"},
    {"launcher_version", "2.0.5"}, {"launcher_url", "https://cdn.example/launcher.exe"},
    {"launcher_sha256", "0123"}};

// A document as the service writes it, with a space after each colon; value replaces
// the value of key, and a null value leaves the field out.
std::string Document(const std::string& key = "", const char* value = "") {
    std::string text;
    for (const auto& [name, kept] : kValid) {
        if (name == key && !value) continue;
        text += (text.empty() ? "{\"" : ",\n  \"") + name + "\": \"" + (name == key ? value : kept) + "\"";
    }
    return text + "}";
}

// Each refused document gives its message and leaves the earlier record as it was.
TEST(ManifestRules, RefusedDocumentsNameTheirFaultAndChangeNothing) {
    UpdateManifest accepted;
    std::wstring none;
    ASSERT_TRUE(ReadUpdateManifest(Document(), accepted, none));  // the document each case spoils
    const std::wstring invalid = L"The Hollowmere update manifest is invalid.";
    const std::wstring badSize = L"The client download size is invalid.";
    std::vector<std::pair<std::string, std::wstring>> refused = {
        {Document("client_version", ""), invalid},
        {Document("client_url", "\xFF\xFE"), invalid},  // empty once converted
        {Document("client_size", "-5"), badSize},
        {Document("client_size", "18446744073709551616"), badSize},
    };
    for (const auto& field : kValid) refused.push_back({Document(field.first, nullptr), invalid});
    for (const auto& [document, expected] : refused) {
        SCOPED_TRACE(document);
        UpdateManifest manifest;
        manifest.client_version = L"earlier";
        std::wstring message;
        EXPECT_FALSE(ReadUpdateManifest(document, manifest, message));
        EXPECT_EQ(message, expected);
        EXPECT_EQ(manifest.client_version, L"earlier");
    }
}

// This build is 2.0.4: only a later version is an update, never an older one.
TEST(ManifestRules, LauncherVersionComparison) {
    for (const wchar_t* newer : {L"2.0.5", L"2.1.0", L"3.0.0", L"2.0.10", L" 2. 0. 5", L"2.0.99999999999"})
        EXPECT_TRUE(LauncherUpdateAvailable(newer)) << newer;
    for (const wchar_t* notNewer : {L"2.0.4", L"1.9.9", L"1.99999999999.0", L"2.0", L"", L"v2.0.5", L"-3.0.0"})
        EXPECT_FALSE(LauncherUpdateAvailable(notNewer)) << notNewer;
}

// The version of a downloaded launcher, read from its bytes: the launcher's own file
// reads as its version, and each near miss of a damaged or hostile file reads as none,
// so it is never taken as newer.
TEST(ExecutableVersion, OnlyAWholeVersionResourceInsideTheFileReads) {
    const std::string image = ReadFileBytes(HOLLOWMERE_TEST_LAUNCHER_EXE);
    const std::string key("V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0", 30);
    const std::size_t block = image.find(key) - 6;
    ASSERT_LT(block, image.size());
    const auto read32 = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(image[at + i]);
        return value;
    };
    // The resource's data entry: its size (the block's own length here), then two zero fields.
    const std::uint32_t length = static_cast<unsigned char>(image[block]) | static_cast<unsigned char>(image[block + 1]) << 8;
    std::vector<std::size_t> entries;
    for (std::size_t at = 4; at + 12 <= block; ++at)
        if (read32(at) == length && read32(at + 4) == 0 && read32(at + 8) == 0) entries.push_back(at);
    ASSERT_EQ(entries.size(), 1u);
    const std::size_t sizeField = entries[0];
    const auto patched = [&](std::size_t at, std::string bytes) { return std::string(image).replace(at, bytes.size(), bytes); };
    const struct {
        const char* name;
        std::string bytes;
        const char* version;  // null: none
    } cases[] = {
        {"the launcher itself", image, "2.0.4"},
        {"its key one letter off", patched(block + 6 + 28, "P"), nullptr},
        {"its signature one bit off", patched(block + 40, "\xBC"), nullptr},
        {"cut one byte short of its version", image.substr(0, block + 55), nullptr},
        {"a resource claiming 256 MiB", patched(sizeField, std::string("\0\0\0\x10", 4)), nullptr},
        {"a resource one byte past the file", patched(sizeField, std::string(reinterpret_cast<const char*>(&length), 4))
                                                  .substr(0, block + length - 1), nullptr},
        {"not an executable", "MZ", nullptr},
    };
    for (const auto& c : cases) {
        std::string version = "untouched", problem;
        EXPECT_EQ(ReadExecutableVersion(c.bytes, version, problem), c.version != nullptr) << c.name;
        EXPECT_EQ(version, c.version ? c.version : "untouched") << c.name;
    }
}

}  // namespace
