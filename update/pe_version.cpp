#include "update/pe_version.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000;

// Every read is bounds-checked: a downloaded file may be anything.
bool Read16(const std::string& image, std::uint64_t at, std::uint32_t& value) {
    if (at + 2 > image.size()) return false;
    value = static_cast<unsigned char>(image[at]) | static_cast<unsigned char>(image[at + 1]) << 8;
    return true;
}

bool Read32(const std::string& image, std::uint64_t at, std::uint32_t& value) {
    std::uint32_t low = 0, high = 0;
    if (!Read16(image, at, low) || !Read16(image, at + 2, high)) return false;
    value = low | high << 16;
    return true;
}

struct Sections {
    std::uint64_t table = 0;
    std::uint32_t count = 0;
};

// The file offset of a relative virtual address, through the section that holds it.
bool OffsetOfAddress(const std::string& image, const Sections& sections, std::uint32_t address,
                     std::uint64_t& offset) {
    for (std::uint32_t i = 0; i < sections.count; ++i) {
        const std::uint64_t entry = sections.table + 40ull * i;
        std::uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawOffset = 0;
        if (!Read32(image, entry + 8, virtualSize) || !Read32(image, entry + 12, virtualAddress) ||
            !Read32(image, entry + 16, rawSize) || !Read32(image, entry + 20, rawOffset))
            return false;
        if (address >= virtualAddress && address - virtualAddress < rawSize) {
            offset = static_cast<std::uint64_t>(rawOffset) + (address - virtualAddress);
            return offset < image.size();
        }
    }
    return false;
}

// The entry of a resource directory with the given id, or its first entry when id is 0.
bool FindResourceEntry(const std::string& image, std::uint64_t directory, std::uint32_t id,
                       std::uint32_t& target) {
    std::uint32_t named = 0, numbered = 0;
    if (!Read16(image, directory + 12, named) || !Read16(image, directory + 14, numbered)) return false;
    for (std::uint32_t i = 0; i < named + numbered; ++i) {
        std::uint32_t name = 0;
        const std::uint64_t entry = directory + 16 + 8ull * i;
        if (!Read32(image, entry, name) || !Read32(image, entry + 4, target)) return false;
        if (id == 0 || (i >= named && name == id)) return true;
    }
    return false;
}

}  // namespace

bool ReadExecutableVersion(const std::string& image, std::string& version, std::string& problem) {
    std::uint32_t headerOffset = 0, signature = 0, characteristics = 0, optionalSize = 0, magic = 0;
    if (image.compare(0, 2, "MZ") != 0 || !Read32(image, 0x3C, headerOffset) || !Read32(image, headerOffset, signature) ||
        signature != 0x4550) {
        problem = "not a Windows executable (no MZ and PE headers)";
        return false;
    }
    const std::uint64_t coff = headerOffset + 4ull;
    const std::uint64_t optional = coff + 20;
    Sections sections;
    if (!Read16(image, coff + 2, sections.count) || !Read16(image, coff + 16, optionalSize) ||
        !Read16(image, coff + 18, characteristics) || !Read16(image, optional, magic) ||
        (characteristics & 0x0002) == 0 || (characteristics & 0x2000) != 0 || (magic != 0x10B && magic != 0x20B)) {
        problem = "not a Windows executable program (its PE header names no runnable image)";
        return false;
    }
    sections.table = optional + optionalSize;
    // The data directories follow the optional header's fixed part, which is longer in PE32+.
    const std::uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
    std::uint32_t directoryCount = 0, resourceAddress = 0;
    std::uint64_t root = 0;
    if (!Read32(image, directories - 4, directoryCount) || directoryCount <= kResourceDirectoryIndex ||
        !Read32(image, directories + 8 * kResourceDirectoryIndex, resourceAddress) || resourceAddress == 0 ||
        !OffsetOfAddress(image, sections, resourceAddress, root)) {
        problem = "a Windows executable without resources, so without a version resource";
        return false;
    }
    // Three levels: the type, the first name under it, then the first language, a leaf.
    std::uint32_t target = 0;
    std::uint64_t at = root;
    const std::uint32_t ids[2] = {kVersionResourceType, 0};
    for (std::uint32_t id : ids) {
        if (!FindResourceEntry(image, at, id, target) || (target & kSubdirectoryFlag) == 0) {
            problem = "a Windows executable without a version resource";
            return false;
        }
        at = root + (target & ~kSubdirectoryFlag);
    }
    // A leaf now: RVA and size of the VS_VERSIONINFO block.
    if (!FindResourceEntry(image, at, 0, target) || (target & kSubdirectoryFlag) != 0) {
        problem = "a Windows executable whose version resource is damaged";
        return false;
    }
    std::uint32_t dataAddress = 0, dataSize = 0, fixedSignature = 0, versionHigh = 0, versionLow = 0;
    std::uint64_t block = 0;
    // The fixed part follows a 6-byte header and the key "VS_VERSION_INFO" (16 UTF-16
    // units with its terminator), aligned to 4 bytes: 40 bytes in. A resource that claims
    // more bytes than the file holds is damaged, whatever its first bytes say.
    if (!Read32(image, root + target, dataAddress) || !Read32(image, root + target + 4, dataSize) ||
        dataSize < 40 + 52 || !OffsetOfAddress(image, sections, dataAddress, block) || block + dataSize > image.size() ||
        image.compare(block + 6, 32, std::string("V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0\0", 32)) != 0 ||
        !Read32(image, block + 40, fixedSignature) || fixedSignature != kFixedInfoSignature ||
        !Read32(image, block + 48, versionHigh) || !Read32(image, block + 52, versionLow)) {
        problem = "a Windows executable whose version resource is damaged";
        return false;
    }
    version = std::to_string(versionHigh >> 16) + "." + std::to_string(versionHigh & 0xFFFF) + "." +
              std::to_string(versionLow >> 16);
    return true;
}
