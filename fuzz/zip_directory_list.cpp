// Test-only: lists what the zip central-directory reader makes of files, for the
// comparison with Python's zipfile (tests/release/zip_directory_test.py). Each file is
// read as a package on a server would be: its tail, then its directory, each on its own.
//   zip_directory_list FILE...        per file "refused PROBLEM", or "entries N" and N lines
//                                     "NAME-IN-HEX CRC COMPRESSED SIZE OFFSET METHOD FLAGS TIME DATE EXTRA COMMENT"
//   zip_directory_list --names NAME...  per name "ok" or the problem
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "install/zip_directory.h"

int main(int argc, char** argv) {
    const bool names = argc > 1 && std::string(argv[1]) == "--names";
    for (int i = names ? 2 : 1; i < argc; ++i) {
        std::string problem;
        if (names) {
            std::printf("%s\n", CheckZipEntryName(argv[i], problem) ? "ok" : problem.c_str());
            continue;
        }
        std::ifstream in(argv[i], std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ZipDirectoryPlace place;
        std::vector<ZipDirectoryEntry> entries;
        if (!LocateZipDirectory(file.substr(file.size() - std::min(file.size(), kZipTailBytes)), file.size(), place,
                                problem) ||
            !ReadZipDirectory(file.substr(place.offset, place.size), place, entries, problem)) {
            std::printf("refused %s\n", problem.c_str());
            continue;
        }
        std::printf("entries %zu\n", entries.size());
        for (const ZipDirectoryEntry& e : entries) {
            for (unsigned char c : e.name) std::printf("%02x", c);
            std::printf("- %u %llu %llu %llu %u %u %u %u %u %u\n", e.crc32, (unsigned long long)e.compressedSize,
                        (unsigned long long)e.uncompressedSize, (unsigned long long)e.localHeaderOffset, e.method,
                        e.flags, e.dosTime, e.dosDate, e.extraLength, e.commentLength);
        }
    }
    return 0;
}
