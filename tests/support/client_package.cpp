#include "support/client_package.h"

#include <windows.h>

#include <cstdint>
#include <cwctype>

#include <gtest/gtest.h>

#include "install/install_client.h"
#include "net/download.h"
#include "net/json_fields.h"
#include "play/client_interface.h"
#include "support/clean_world.h"
#include "support/service_control.h"
#include "support/test_files.h"

namespace {

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void Put16(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}


}  // namespace

std::string MakeStoredZip(const std::vector<ZipEntry>& entries) {
    constexpr std::uint32_t kVersion = 20, kTime = 0, kDate = (45u << 9) | (1u << 5) | 1u;  // 2025-01-01
    std::string zip;
    std::string central;
    for (const ZipEntry& entry : entries) {
        const std::uint32_t crc = Crc32(entry.bytes) ^ (entry.wrongChecksum ? 0x5A5A5A5Au : 0u);
        const std::uint32_t size = static_cast<std::uint32_t>(entry.bytes.size());
        const std::uint32_t offset = static_cast<std::uint32_t>(zip.size());
        Put32(zip, 0x04034b50);
        for (std::uint32_t field : {kVersion, 0u, 0u, kTime, kDate}) Put16(zip, field);
        Put32(zip, crc);
        Put32(zip, size);
        Put32(zip, size);
        Put16(zip, static_cast<std::uint32_t>(entry.name.size()));
        Put16(zip, 0);
        zip += entry.name;
        zip += entry.bytes;

        Put32(central, 0x02014b50);
        for (std::uint32_t field : {kVersion, kVersion, 0u, 0u, kTime, kDate}) Put16(central, field);
        Put32(central, crc);
        Put32(central, size);
        Put32(central, size);
        Put16(central, static_cast<std::uint32_t>(entry.name.size()));
        for (int i = 0; i < 4; ++i) Put16(central, 0);  // extra, comment, disk, internal attributes
        Put32(central, entry.name.back() == '/' ? 0x10u : 0u);
        Put32(central, offset);
        central += entry.name;
    }
    const std::uint32_t centralOffset = static_cast<std::uint32_t>(zip.size());
    zip += central;
    Put32(zip, 0x06054b50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, static_cast<std::uint32_t>(entries.size()));
    Put16(zip, static_cast<std::uint32_t>(entries.size()));
    Put32(zip, static_cast<std::uint32_t>(central.size()));
    Put32(zip, centralOffset);
    Put16(zip, 0);
    return zip;
}

bool ServeClientPackage(const std::string& bytes, const std::string& version) {
    // The service writes the manifest, with the digest computed on its side.
    return ServiceControl("package?client_version=" + version, bytes);
}

std::string ServedClientVersion() {
    std::string manifest, version;
    if (!ReadServiceFile(kServedManifestPath, manifest) || !ExtractJsonString(manifest, "client_version", version))
        return std::string();
    return version;
}

std::string ReadPowerShellCalls() { return ReadFileBytes(TemporaryFile(L"hollowmere-powershell-calls.txt")); }

void ClearPowerShellCalls() { DeleteFileW(TemporaryFile(L"hollowmere-powershell-calls.txt").c_str()); }

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], length, nullptr,
                            nullptr);
    return bytes;
}

const std::string kPackageFont = std::string(kPackageFontMark) + "\r\n[Font]\r\n";
const std::string kPackageOptions = std::string(kPackageOptionsMark) + "\r\n";

std::string PackageWithFiller(size_t fillerBytes) {
    const std::string client = ReadFileBytes(BuildPath(L"tools/game-client/Sarnhold-Elderline.exe"));
    return MakeStoredZip({{"Sarnhold-Elderline.exe", client},
                          {"SarnFont.ini", kPackageFont},
                          {"savedata/OptionInfo.lua", kPackageOptions},
                          {"data/terrain.pak", std::string(fillerBytes, '\x5a')}});
}

const std::string kPlayerFont = "; the player's own font settings\r\n[Font]\r\nEnabled=1\r\nScalePercent=135\r\n";
const std::string kPlayerOptions =
    "-- the player's own options\r\nOptionInfoList = {\r\n\t[\"WIDTH\"] = 2560,\r\n}\r\n";

std::wstring FontFileIn(const std::wstring& folder) { return folder + L"\\" + kFontSettingsFileName; }

std::wstring OptionsFileIn(const std::wstring& folder) {
    return folder + L"\\" + kGameOptionsFolderName + L"\\" + kGameOptionsFileName;
}

void PutPlayerFiles(const std::wstring& folder) {
    ASSERT_TRUE(WriteFileBytes(FontFileIn(folder), kPlayerFont));
    ASSERT_TRUE(WriteFileBytes(OptionsFileIn(folder), kPlayerOptions));
}

void ExpectPlayerFiles(const std::wstring& folder) {
    EXPECT_EQ(ReadFileBytes(FontFileIn(folder)), kPlayerFont);
    EXPECT_EQ(ReadFileBytes(OptionsFileIn(folder)), kPlayerOptions);
}

void ExpectNoHoldingCopies() {
    for (const std::wstring& holding : {FontSettingsHoldingPath(), GameOptionsHoldingPath()}) {
        EXPECT_FALSE(FileExists(holding));
        EXPECT_FALSE(FileExists(HoldingRecordPath(holding)));
    }
}
