#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A file written in pieces, each copied from another file (an older release kept on this
// computer) or fetched from the server with a range request.
struct FilePiece {
    std::uint64_t length = 0;
    bool fromKept = false;
    std::uint64_t keptOffset = 0;  // where a copied piece lies in the kept file
};

struct ReusePlan {
    std::wstring keptPath;
    std::vector<FilePiece> pieces;  // the file in order, first byte to last
    std::uint64_t fetchedBytes = 0;  // the fetched pieces' lengths added up, less the known end
    // The file's last bytes, from knownFrom on, as fetched already to make the plan (a
    // zip's directory and end records): written from here, not fetched again.
    std::string knownEnd;
    std::uint64_t knownFrom = 0;
};
