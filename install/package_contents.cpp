#include "install/package_contents.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

std::string PrintableEntryName(const std::string& name) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) text.push_back(c);
        else text += std::string("\\x") + kDigits[byte >> 4] + kDigits[byte & 15];
    }
    return text;
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

PackageContents DescribePackage(const std::vector<ZipDirectoryEntry>& entries) {
    const std::string client = "Sarnhold-Elderline.exe";  // the client's name, ASCII
    PackageContents contents;
    for (const ZipDirectoryEntry& entry : entries) {
        std::string why;
        if (!CheckZipEntryName(entry.name, why) && contents.unsafeCount++ == 0) {
            contents.unsafeName = PrintableEntryName(entry.name);
            contents.unsafeWhy = why;
        }
        if (IsZipFolderEntry(entry)) continue;
        ++contents.files;
        // Added up without wrapping, however large the sizes a damaged archive claims.
        contents.bytes += std::min(entry.uncompressedSize, UINT64_MAX - contents.bytes);
        contents.hasClient = contents.hasClient || SameIgnoringAsciiCase(entry.name, client);
    }
    return contents;
}

std::string DescribeUnsafeEntry(const PackageContents& contents) {
    const std::uint64_t others = contents.unsafeCount - 1;
    return "the entry \"" + contents.unsafeName + "\" cannot unpack inside the install folder (" + contents.unsafeWhy +
           ")" + (others ? " and so would " + std::to_string(others) + " more" : "");
}

bool ReadPackageFileDirectory(const std::filesystem::path& path, std::vector<ZipDirectoryEntry>& entries,
                              std::string& problem, ZipDirectoryPlace* placeOut, std::uint64_t* sizeOut) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const std::streamoff end = file ? static_cast<std::streamoff>(file.tellg()) : -1;
    if (end < 0) {
        problem = std::string("unreadable: ") + std::strerror(errno);
        return false;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(end);
    std::string tail(static_cast<std::size_t>(std::min<std::uint64_t>(size, kZipTailBytes)), '\0');
    file.seekg(static_cast<std::streamoff>(size - tail.size()));
    file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    ZipDirectoryPlace place;
    if (!file) {
        problem = "unreadable: its last bytes could not be read";
        return false;
    }
    if (!LocateZipDirectory(tail, size, place, problem)) return false;
    std::string directory(static_cast<std::size_t>(place.size), '\0');
    file.seekg(static_cast<std::streamoff>(place.offset));
    file.read(directory.data(), static_cast<std::streamsize>(directory.size()));
    if (!file) {
        problem = "unreadable: its central directory could not be read";
        return false;
    }
    if (placeOut) *placeOut = place;
    if (sizeOut) *sizeOut = size;
    return ReadZipDirectory(directory, place, entries, problem);
}
