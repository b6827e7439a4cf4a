// The zip central-directory reader on arbitrary files, read as the launcher will read a
// package over the network: the tail and the directory each in an allocation of its own,
// so any read outside them is a sanitizer finding. Input: the whole file.
#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "install/package_plan.h"
#include "install/zip_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::string tail = file.substr(size - std::min(size, kZipTailBytes));
    ZipDirectoryPlace place;
    std::string problem, why;
    CheckZipEntryName(file.substr(0, 64), why);
    if (!LocateZipDirectory(tail, size, place, problem)) {
        FUZZ_CHECK(!problem.empty());
        return 0;
    }
    FUZZ_CHECK(place.offset <= size && place.size <= size - place.offset && place.size <= kZipDirectoryLimit);
    const std::string directory = file.substr(place.offset, place.size);
    std::vector<ZipDirectoryEntry> entries;
    if (!ReadZipDirectory(directory, place, entries, problem)) {
        FUZZ_CHECK(!problem.empty() && entries.empty());
        return 0;
    }
    FUZZ_CHECK(entries.size() == place.entryCount);
    // Laid end to end by their lengths, the records fill the directory exactly, each
    // holding its signature and its name where the entry says; every entry's local
    // header and data lie within the file, before the directory.
    std::size_t at = 0;
    for (const ZipDirectoryEntry& entry : entries) {
        FUZZ_CHECK(directory.compare(at, 4, "PK\1\2") == 0 &&
                   directory.compare(at + 46, entry.name.size(), entry.name) == 0);
        at += 46 + entry.name.size() + entry.extraLength + entry.commentLength;
        FUZZ_CHECK(at <= directory.size());
        const std::uint64_t room = place.offset;
        FUZZ_CHECK(entry.localHeaderOffset <= room && entry.compressedSize <= room - entry.localHeaderOffset &&
                   30 + entry.name.size() <= room - entry.localHeaderOffset - entry.compressedSize);
        CheckZipEntryName(entry.name, why);
    }
    FUZZ_CHECK(at == directory.size());
    // The file written from itself as the kept package: the pieces make the file, each
    // copy lies before the kept directory, and at most one request per entry and the end.
    PackagePlan plan;
    if (PlanPackageFromKept(entries, place, entries, place, size, plan, problem)) {
        std::uint64_t total = 0;
        for (const FilePiece& piece : plan.pieces) {
            total += piece.length;
            FUZZ_CHECK(!piece.fromKept || (piece.keptOffset <= place.offset && piece.length <= place.offset - piece.keptOffset));
        }
        FUZZ_CHECK(total == size && plan.fetchedBytes + plan.reusedBytes == size && plan.requests <= entries.size() + 2);
    }
    return 0;
}
