#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "install/zip_directory.h"

// What the client package holds, judged from its zip central directory alone, so a check
// needs only the package's end: what every player's install would meet. The release tool
// judges a package with it before players do, and the launcher before it unpacks one.

struct PackageContents {
    std::uint64_t files = 0;  // entries that are not folders
    std::uint64_t bytes = 0;  // their unpacked sizes added up
    bool hasClient = false;   // "Sarnhold-Elderline.exe" at the top of the archive
    // The first entry that would unpack outside the install folder (printable), why, and
    // how many such entries there are.
    std::string unsafeName;
    std::string unsafeWhy;
    std::uint64_t unsafeCount = 0;
};
PackageContents DescribePackage(const std::vector<ZipDirectoryEntry>& entries);

// The central directory of a package file on disk, read from its end. On false, problem
// completes "the client package ... is": "not a zip archive: ...", "unreadable: ...".
// place and size (when given) get where the directory lies and the file's length.
bool ReadPackageFileDirectory(const std::filesystem::path& path, std::vector<ZipDirectoryEntry>& entries,
                              std::string& problem, ZipDirectoryPlace* place = nullptr, std::uint64_t* size = nullptr);

// a and b alike but for the case of ASCII letters: how Windows matches the client's name,
// and how hexadecimal digests are compared.
bool SameIgnoringAsciiCase(const std::string& a, const std::string& b);

// Names come from the archive: control bytes are shown as \xNN, so none reaches a
// terminal as a command.
std::string PrintableEntryName(const std::string& name);

// The verdicts' common words.
constexpr const char* kNoClientText = "no \"Sarnhold-Elderline.exe\" at the top of the archive";
std::string DescribeUnsafeEntry(const PackageContents& contents);
