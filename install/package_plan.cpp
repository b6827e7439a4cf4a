#include "install/package_plan.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace {

// An entry's record, as far as it decides whether the compressed bytes are the same.
using EntryKey = std::tuple<std::string, std::uint32_t, std::uint64_t, std::uint64_t, std::uint16_t, std::uint16_t,
                            std::uint16_t, std::uint16_t>;

EntryKey KeyOf(const ZipDirectoryEntry& entry) {
    return EntryKey(entry.name, entry.crc32, entry.compressedSize, entry.uncompressedSize, entry.method, entry.flags,
                    entry.dosTime, entry.dosDate);
}

// Where each entry's bytes lie: from its local header up to the next entry's, or up to the
// directory for the last one. False when two entries share bytes or one lies past the
// directory.
struct Span {
    std::uint64_t begin = 0, end = 0;
    const ZipDirectoryEntry* entry = nullptr;
};
bool SpansOf(const std::vector<ZipDirectoryEntry>& entries, std::uint64_t directoryOffset, std::vector<Span>& spans) {
    spans.clear();
    for (const ZipDirectoryEntry& entry : entries) spans.push_back({entry.localHeaderOffset, 0, &entry});
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    for (std::size_t i = 0; i < spans.size(); ++i) {
        spans[i].end = i + 1 < spans.size() ? spans[i + 1].begin : directoryOffset;
        if (spans[i].end <= spans[i].begin) return false;
    }
    return true;
}

void Add(PackagePlan& plan, std::uint64_t length, bool fromKept, std::uint64_t keptOffset) {
    if (length == 0) return;
    std::vector<FilePiece>& pieces = plan.pieces;
    if (!pieces.empty() && !fromKept && !pieces.back().fromKept) {
        pieces.back().length += length;
        return;
    }
    if (!pieces.empty() && fromKept && pieces.back().fromKept &&
        pieces.back().keptOffset + pieces.back().length == keptOffset) {
        pieces.back().length += length;
        return;
    }
    pieces.push_back({length, fromKept, keptOffset});
}

}  // namespace

bool PlanPackageFromKept(const std::vector<ZipDirectoryEntry>& kept, const ZipDirectoryPlace& keptPlace,
                         const std::vector<ZipDirectoryEntry>& fresh, const ZipDirectoryPlace& freshPlace,
                         std::uint64_t freshSize, PackagePlan& plan, std::string& problem) {
    plan = PackagePlan();
    std::vector<Span> keptSpans, freshSpans;
    if (!SpansOf(fresh, freshPlace.offset, freshSpans) || freshPlace.offset > freshSize) {
        problem = "the new package's entries overlap";
        return false;
    }
    // A kept package whose own spans make no sense offers nothing to copy.
    std::map<EntryKey, const Span*> keptByKey;
    std::map<std::pair<std::string, std::uint32_t>, std::uint64_t> keptContent;  // name and CRC-32: unpacked size
    if (SpansOf(kept, keptPlace.offset, keptSpans)) {
        for (const Span& span : keptSpans) {
            keptByKey.emplace(KeyOf(*span.entry), &span);
            keptContent.emplace(std::make_pair(span.entry->name, span.entry->crc32), span.entry->uncompressedSize);
        }
    }
    // Bytes before the first entry (normally none) are fetched.
    Add(plan, freshSpans.empty() ? freshPlace.offset : freshSpans.front().begin, false, 0);
    for (const Span& span : freshSpans) {
        const std::uint64_t length = span.end - span.begin;
        const auto found = keptByKey.find(KeyOf(*span.entry));
        if (found != keptByKey.end() && found->second->end - found->second->begin == length) {
            Add(plan, length, true, found->second->begin);
            continue;
        }
        ++plan.fetchedEntries;
        const auto same = keptContent.find(std::make_pair(span.entry->name, span.entry->crc32));
        if (same != keptContent.end() && same->second == span.entry->uncompressedSize)
            plan.repacked.push_back(span.entry->name);
        Add(plan, length, false, 0);
    }
    Add(plan, freshSize - freshPlace.offset, false, 0);  // the directory and its end records

    // A short copy between two fetches is fetched with them.
    std::vector<FilePiece> pieces;
    pieces.swap(plan.pieces);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const bool shortGap = pieces[i].fromKept && pieces[i].length < kCopyGapFetchedBelow && i > 0 &&
                              i + 1 < pieces.size() && !pieces[i - 1].fromKept && !pieces[i + 1].fromKept;
        Add(plan, pieces[i].length, pieces[i].fromKept && !shortGap, pieces[i].keptOffset);
    }
    for (const FilePiece& piece : plan.pieces) {
        (piece.fromKept ? plan.reusedBytes : plan.fetchedBytes) += piece.length;
        if (!piece.fromKept) ++plan.requests;
    }
    return true;
}
