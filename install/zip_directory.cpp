#include "install/zip_directory.h"

#include <algorithm>

namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kZip64RecordSize = 56;
constexpr std::size_t kDirectoryRecordSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint64_t kEndSignature = 0x06054b50;
constexpr std::uint64_t kLocatorSignature = 0x07064b50;
constexpr std::uint64_t kZip64Signature = 0x06064b50;
constexpr std::uint64_t kDirectorySignature = 0x02014b50;
// A 32-bit size or offset with this value is given by the entry's zip64 extra field.
constexpr std::uint64_t kInZip64Field = 0xFFFFFFFF;
constexpr std::uint16_t kZip64FieldId = 0x0001;

// width bytes from at, little-endian. Callers check sizes first; a read that would
// leave the bytes gives 0 rather than touching memory outside them.
std::uint64_t Little(const std::string& bytes, std::size_t at, std::size_t width) {
    if (at > bytes.size() || width > bytes.size() - at) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string Count(std::uint64_t value) { return std::to_string(value); }

// Each of the three values that read 0xFFFFFFFF comes, in this order, from the zip64
// field among the record's extra bytes [begin, end).
bool ApplyZip64Field(const std::string& directory, std::size_t begin, std::size_t end, ZipDirectoryEntry& entry,
                     std::string& problem) {
    std::uint64_t* const values[] = {&entry.uncompressedSize, &entry.compressedSize, &entry.localHeaderOffset};
    bool applied = false;
    // Fewer than four bytes left are padding, as other readers take them.
    for (std::size_t at = begin; end - at >= 4;) {
        const std::size_t id = Little(directory, at, 2), length = Little(directory, at + 2, 2);
        if (length > end - at - 4) {
            problem = "an extra field that runs past its record";
            return false;
        }
        if (id == kZip64FieldId) {
            applied = true;
            std::size_t field = at + 4;
            for (std::uint64_t* value : values) {
                if (*value != kInZip64Field) continue;
                if (at + 4 + length - field < 8) {
                    problem = "a zip64 field too short for the values it stands for";
                    return false;
                }
                *value = Little(directory, field, 8);
                field += 8;
            }
        }
        at += 4 + length;
    }
    for (std::uint64_t* value : values) {
        if (!applied && *value == kInZip64Field) {
            problem = "a size or offset of 0xFFFFFFFF without the zip64 field that gives it";
            return false;
        }
    }
    return true;
}

bool IsDeviceName(const std::string& upper) {
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (upper == device) return true;
    if (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0) return false;
    const std::string number = upper.substr(3);
    // A digit, or the superscript one, two or three in UTF-8: Windows reserves those too.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

bool LocateZipDirectory(const std::string& tail, std::uint64_t fileSize, ZipDirectoryPlace& place,
                        std::string& problem) {
    const std::uint64_t wanted = std::min<std::uint64_t>(fileSize, kZipTailBytes);
    if (tail.size() > fileSize || tail.size() < wanted) {
        problem = "not read: the last " + Count(wanted) + " bytes are needed, " + Count(tail.size()) + " were given";
        return false;
    }
    const std::uint64_t tailStart = fileSize - tail.size();
    // The record nearest the end whose comment ends exactly with the file: the same four
    // bytes inside a comment are no record.
    const std::size_t searched = std::min(tail.size(), kZipEndSearchBytes);
    std::size_t end = 0;
    bool found = false;
    for (std::size_t back = kEndRecordSize; back <= searched && !found; ++back) {
        end = tail.size() - back;
        found = Little(tail, end, 4) == kEndSignature && Little(tail, end + 20, 2) == back - kEndRecordSize;
    }
    if (!found) {
        problem = "not a zip archive: no end-of-central-directory record in its last " + Count(searched) + " bytes";
        return false;
    }
    std::uint64_t disk = Little(tail, end + 4, 2), directoryDisk = Little(tail, end + 6, 2);
    std::uint64_t diskEntries = Little(tail, end + 8, 2), entries = Little(tail, end + 10, 2);
    std::uint64_t size = Little(tail, end + 12, 4), offset = Little(tail, end + 16, 4);
    std::uint64_t directoryEnd = tailStart + end;
    const bool zip64 = end >= kLocatorSize && Little(tail, end - kLocatorSize, 4) == kLocatorSignature;
    if (zip64) {
        const std::size_t locator = end - kLocatorSize;
        if (Little(tail, locator + 4, 4) != 0 || Little(tail, locator + 16, 4) > 1) {
            problem = "a zip archive spread over several disks";
            return false;
        }
        // The zip64 end record sits right before its locator, without extensible data
        // (which only encrypted directories use).
        const std::size_t record = locator >= kZip64RecordSize ? locator - kZip64RecordSize : 0;
        if (locator < kZip64RecordSize || Little(tail, locator + 8, 8) != tailStart + record ||
            Little(tail, record, 4) != kZip64Signature || Little(tail, record + 4, 8) != kZip64RecordSize - 12) {
            problem = "a damaged zip archive: its zip64 locator does not point at a zip64 end record right before it";
            return false;
        }
        disk = Little(tail, record + 16, 4), directoryDisk = Little(tail, record + 20, 4);
        diskEntries = Little(tail, record + 24, 8), entries = Little(tail, record + 32, 8);
        size = Little(tail, record + 40, 8), offset = Little(tail, record + 48, 8);
        directoryEnd = tailStart + record;
    }
    if (disk != 0 || directoryDisk != 0 || diskEntries != entries) {
        problem = "a zip archive spread over several disks";
        return false;
    }
    if (size > kZipDirectoryLimit) {
        problem = "a zip archive whose central directory claims " + Count(size) +
                  " bytes, more than the 32 MiB this reader holds";
        return false;
    }
    // The directory must be where the end record says; an archive with other bytes put
    // before it (a self-extractor) has every offset shifted, and is refused.
    if (offset > directoryEnd || directoryEnd - offset != size) {
        problem = "a damaged zip archive: its central directory (" + Count(size) + " bytes from byte " +
                  Count(offset) + ") does not end where its end record begins (byte " + Count(directoryEnd) + ")";
        return false;
    }
    if (entries > size / kDirectoryRecordSize) {
        problem = "a damaged zip archive: it claims " + Count(entries) + " entries in a central directory of " +
                  Count(size) + " bytes";
        return false;
    }
    place = ZipDirectoryPlace{offset, size, entries, zip64};
    return true;
}

bool ReadZipDirectory(const std::string& directory, const ZipDirectoryPlace& place, std::vector<ZipDirectoryEntry>& entries,
                      std::string& problem) {
    entries.clear();
    if (directory.size() != place.size) {
        problem = "not read: the directory is " + Count(place.size) + " bytes, " + Count(directory.size()) +
                  " were given";
        return false;
    }
    std::vector<ZipDirectoryEntry> read;
    std::size_t at = 0;
    for (std::uint64_t index = 1; index <= place.entryCount; ++index) {
        const std::string which = "a damaged zip archive: central directory record " + Count(index) + " of " +
                                  Count(place.entryCount) + " ";
        if (directory.size() - at < kDirectoryRecordSize || Little(directory, at, 4) != kDirectorySignature) {
            problem = which + "is missing";
            return false;
        }
        ZipDirectoryEntry entry;
        entry.flags = static_cast<std::uint16_t>(Little(directory, at + 8, 2));
        entry.method = static_cast<std::uint16_t>(Little(directory, at + 10, 2));
        entry.dosTime = static_cast<std::uint16_t>(Little(directory, at + 12, 2));
        entry.dosDate = static_cast<std::uint16_t>(Little(directory, at + 14, 2));
        entry.crc32 = static_cast<std::uint32_t>(Little(directory, at + 16, 4));
        entry.compressedSize = Little(directory, at + 20, 4);
        entry.uncompressedSize = Little(directory, at + 24, 4);
        const std::size_t nameLength = Little(directory, at + 28, 2);
        entry.extraLength = static_cast<std::uint16_t>(Little(directory, at + 30, 2));
        entry.commentLength = static_cast<std::uint16_t>(Little(directory, at + 32, 2));
        entry.localHeaderOffset = Little(directory, at + 42, 4);
        const std::size_t extra = at + kDirectoryRecordSize + nameLength;
        if (directory.size() - at - kDirectoryRecordSize < nameLength + entry.extraLength + entry.commentLength) {
            problem = which + "runs past the directory's end";
            return false;
        }
        entry.name = directory.substr(at + kDirectoryRecordSize, nameLength);
        std::string why;
        if (!ApplyZip64Field(directory, extra, extra + entry.extraLength, entry, why)) {
            problem = which + "has " + why;
            return false;
        }
        // Its local header and data lie before the directory, so a reader that follows
        // the offset stays within the file.
        const std::uint64_t room = place.offset;
        if (entry.localHeaderOffset > room || entry.compressedSize > room - entry.localHeaderOffset ||
            kLocalHeaderSize + nameLength > room - entry.localHeaderOffset - entry.compressedSize) {
            problem = which + "places its data past the start of the central directory";
            return false;
        }
        at = extra + entry.extraLength + entry.commentLength;
        read.push_back(std::move(entry));
    }
    if (at != directory.size()) {
        problem = "a damaged zip archive: " + Count(directory.size() - at) + " bytes of its central directory " +
                  "follow the last of its " + Count(place.entryCount) + " records";
        return false;
    }
    entries.swap(read);
    return true;
}

bool CheckZipEntryName(const std::string& name, std::string& problem) {
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) {
        problem = "it begins at the root of the drive";
        return false;
    }
    if (name.find(':') != std::string::npos) {
        problem = "it holds a colon (a drive such as \"C:\", or a stream of another file)";
        return false;
    }
    for (std::size_t begin = 0;;) {
        const std::size_t end = std::min(name.find('/', begin), name.find('\\', begin));
        const std::string component = name.substr(begin, end == std::string::npos ? end : end - begin);
        // ".." steps out; Windows trims trailing dots and spaces, so ".. " or "..." may too.
        if (component.find_first_not_of(". ") == std::string::npos &&
            std::count(component.begin(), component.end(), '.') > 1) {
            problem = "it steps out of the folder with \"" + component + "\"";
            return false;
        }
        // Windows takes a device name whatever follows its first dot, and ignores the
        // spaces before that dot.
        std::string device = component.substr(0, component.find('.'));
        while (!device.empty() && device.back() == ' ') device.pop_back();
        for (char& c : device) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if (IsDeviceName(device)) {
            problem = "it names the Windows device " + device;
            return false;
        }
        if (end == std::string::npos) return true;
        begin = end + 1;
    }
}

bool IsZipFolderEntry(const ZipDirectoryEntry& entry) {
    return !entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\');
}
