#include "support/client_package.h"

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <utility>

#include <gtest/gtest.h>

#include "install/install_client.h"
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

// Little-endian fields of the given byte widths.
std::string Fields(std::initializer_list<std::pair<int, std::uint32_t>> fields) {
    std::string bytes;
    for (const auto& [width, value] : fields)
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return bytes;
}

}  // namespace

std::string MakeStoredZip(const std::vector<ZipEntry>& entries, bool zip64) {
    std::string zip, central;
    for (const ZipEntry& entry : entries) {
        const auto size = static_cast<std::uint32_t>(entry.bytes.size());
        // Version 2.0, no flags, stored, 2025-01-01 at midnight, CRC, both sizes, name length.
        const std::string common = Fields({{2, 20}, {2, 0}, {2, 0}, {2, 0}, {2, (45u << 9) | (1u << 5) | 1u},
                                           {4, Crc32(entry.bytes) ^ (entry.wrongChecksum ? 0x5A5A5A5Au : 0u)},
                                           {4, size}, {4, size}, {2, static_cast<std::uint32_t>(entry.name.size())}});
        // The central entry then has no extra, comment, disk or internal attributes, its
        // external attributes and the offset of the local entry, which has no extra field.
        central += Fields({{4, 0x02014b50}, {2, 20}}) + common +
                   Fields({{4, 0}, {4, 0}, {4, entry.name.back() == '/' ? 0x10u : 0u}, {4, std::uint32_t(zip.size())}}) +
                   entry.name;
        zip += Fields({{4, 0x04034b50}}) + common + Fields({{2, 0}}) + entry.name + entry.bytes;
    }
    const auto count = static_cast<std::uint32_t>(entries.size());
    if (zip64) {  // the zip64 end record and its locator, the end record pointing there
        const auto size = static_cast<std::uint32_t>(central.size()), offset = static_cast<std::uint32_t>(zip.size());
        return zip + central +
               Fields({{4, 0x06064b50}, {4, 44}, {4, 0}, {2, 45}, {2, 45}, {4, 0}, {4, 0}, {4, count}, {4, 0},
                       {4, count}, {4, 0}, {4, size}, {4, 0}, {4, offset}, {4, 0}}) +
               Fields({{4, 0x07064b50}, {4, 0}, {4, offset + size}, {4, 0}, {4, 1}}) +
               Fields({{4, 0x06054b50}, {2, 0}, {2, 0}, {2, 0xFFFF}, {2, 0xFFFF}, {4, 0xFFFFFFFF}, {4, 0xFFFFFFFF}, {2, 0}});
    }
    return zip + central +
           Fields({{4, 0x06054b50}, {2, 0}, {2, 0}, {2, count}, {2, count}, {4, std::uint32_t(central.size())},
                   {4, std::uint32_t(zip.size())}, {2, 0}});
}

bool ServeClientPackage(const std::string& bytes, const std::string& version) {
    // The service writes the manifest, with the digest computed on its side.
    return ServiceControl("package?client_version=" + EncodeQueryValue(version), bytes);
}

std::string ServedClientVersion() {
    std::string manifest, version;
    const bool read = ReadServiceFile(kServedManifestPath, manifest) && ExtractJsonString(manifest, "client_version", version);
    return read ? version : std::string();
}

std::string ReadPowerShellCalls() { return ReadFileBytes(TemporaryFile(L"hollowmere-powershell-calls.txt")); }

void ClearPowerShellCalls() { DeleteFileW(TemporaryFile(L"hollowmere-powershell-calls.txt").c_str()); }

std::string ToUtf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');  // at most three bytes a UTF-16 unit
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

std::string PackageWithFiller(size_t fillerBytes) {
    return MakeStoredZip({{"Sarnhold-Elderline.exe", ReadFileBytes(BuildPath(L"tools/game-client/Sarnhold-Elderline.exe"))},
                          {"SarnFont.ini", kPackageFont}, {"savedata/OptionInfo.lua", kPackageOptions},
                          {"data/terrain.pak", std::string(fillerBytes, 'Z')}});
}

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
    for (const std::wstring& holding : {FontSettingsHoldingPath(), GameOptionsHoldingPath()})
        EXPECT_FALSE(FileExists(holding) || FileExists(HoldingRecordPath(holding))) << "held: " << ToUtf8(holding);
}
