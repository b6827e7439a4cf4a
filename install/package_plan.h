#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "install/zip_directory.h"
#include "net/file_pieces.h"

// How a new release of the package can be written from the package kept from the last
// one: each entry whose central-directory record says the same as a kept entry's (name,
// CRC-32, sizes, method, flags, time) and whose bytes take the same room is copied from
// the kept package, local header and all; everything else is fetched with range requests.
// Pure logic on the two directories: nothing read here is trusted, and the final digest
// of the written package decides.

struct PackagePlan {
    std::vector<FilePiece> pieces;  // the new package in order, first byte to last
    std::uint64_t fetchedBytes = 0;
    std::uint64_t reusedBytes = 0;
    std::uint64_t requests = 0;       // runs of fetched pieces, one range request each
    std::uint64_t fetchedEntries = 0;  // changed or added entries
    // Entries whose content is the kept one's (name, CRC-32, unpacked size) but whose
    // compressed bytes are not: a package packed again with other settings.
    std::vector<std::string> repacked;
};

// Fetching a copyable gap this short costs less than the request it saves: a range
// request costs a round trip, some 30 ms, in which a 10 Mbit/s line moves about 37 KB.
// 4 KiB keeps the bytes fetched close to what changed even when thousands of small
// entries change one by one.
constexpr std::uint64_t kCopyGapFetchedBelow = 4096;

// fresh and freshPlace: the new package's directory and where it lies; freshSize its
// length. kept and keptPlace: the kept package's. False, with the reason, when the new
// directory's entries overlap or run past the directory: such a package is fetched whole.
bool PlanPackageFromKept(const std::vector<ZipDirectoryEntry>& kept, const ZipDirectoryPlace& keptPlace,
                         const std::vector<ZipDirectoryEntry>& fresh, const ZipDirectoryPlace& freshPlace,
                         std::uint64_t freshSize, PackagePlan& plan, std::string& problem);
