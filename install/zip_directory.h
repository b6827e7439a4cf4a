#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A zip archive's central directory, read from two ranges of the file only: its last
// bytes, then the directory those name. So the same code serves a file on disk and a
// package on a server that answers range requests. Every byte may come from the network:
// each read is bounds-checked and nothing is trusted to fit. No platform headers.

// The end-of-central-directory record (22 bytes) is followed by a comment of at most
// 65,535 bytes, so it starts within the file's last 65,557 bytes.
constexpr std::size_t kZipEndSearchBytes = 65557;
// The tail LocateZipDirectory takes: that span plus, right before it, the zip64 locator
// (20 bytes) and the zip64 end record (56 bytes), so one read finds all of them.
constexpr std::size_t kZipTailBytes = kZipEndSearchBytes + 20 + 56;
// The largest directory held: 32 MiB. A record takes 46 bytes plus its name, so this is
// room for some 300,000 entries with 60-byte names, far beyond a game package's few
// thousand files, while a damaged or hostile record claiming gigabytes is refused before
// anything is fetched or allocated for it.
constexpr std::uint64_t kZipDirectoryLimit = 32u << 20;

struct ZipDirectoryPlace {
    std::uint64_t offset = 0;      // the directory's first byte in the file
    std::uint64_t size = 0;        // its length in bytes
    std::uint64_t entryCount = 0;
    bool zip64 = false;            // the zip64 end record gave these values
};

struct ZipDirectoryEntry {
    std::string name;              // raw bytes: UTF-8 when flags bit 11 is set, else code page 437
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0;
    std::uint16_t method = 0;      // 0 stored, 8 deflated
    std::uint16_t flags = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint16_t extraLength = 0;
    std::uint16_t commentLength = 0;
};

// tail: the last min(fileSize, kZipTailBytes) bytes of a file of fileSize bytes. Finds the
// end records and says where the directory lies and how long it is. On false, problem
// says why (not a zip, damaged, spread over several disks, or too large to hold).
bool LocateZipDirectory(const std::string& tail, std::uint64_t fileSize, ZipDirectoryPlace& place,
                        std::string& problem);

// directory: the place.size bytes at place.offset. Parses every record; each entry's
// local header and data must lie before the directory. On false, entries is empty and
// problem names the record that failed.
bool ReadZipDirectory(const std::string& directory, const ZipDirectoryPlace& place, std::vector<ZipDirectoryEntry>& entries,
                      std::string& problem);

// True when an entry of this name unpacks inside the folder it is unpacked into. Refused,
// with both separators counted: ".." as a component (or any component of dots and spaces
// only with two dots or more, which Windows may trim to ".."), a rooted name (leading "/"
// or "\"), any colon (a drive such as "C:", or a stream of another file), and a Windows
// device name as a component (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9 and the
// superscript COM and LPT 1-3; any letter case, with or without an extension).
bool CheckZipEntryName(const std::string& name, std::string& problem);

// A folder entry: its name ends with a separator.
bool IsZipFolderEntry(const ZipDirectoryEntry& entry);
