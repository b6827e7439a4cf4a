#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Figures a player reads about a transfer: sizes, the speed over the last few seconds
// and the time left. Pure logic; the caller supplies the clock.

// bytes in binary units as Windows Explorer shows them ("512 bytes", "3.9 MB", "391 GB"):
// one decimal below 100 of a unit, whole numbers above. roundUp rounds the last digit
// up instead of down, so a size that is needed never reads smaller than it is.
std::wstring FormatByteSize(std::uint64_t bytes, bool roundUp);

struct TransferSample {
    std::uint64_t timeMs = 0;
    std::uint64_t bytes = 0;  // received so far
};

// The samples of one transfer that the speed is taken from.
struct TransferRate {
    std::vector<TransferSample> samples;
};

// Adds what has arrived by timeMs. A count that has not grown adds nothing, so each
// sample marks the moment a count was first reached; a count or time that goes back
// (the transfer started over) begins afresh. Samples older than the last few seconds
// go, but one always stays before them to measure from.
void AddTransferSample(TransferRate& rate, std::uint64_t timeMs, std::uint64_t bytes);

// Bytes per second between the oldest and newest sample kept; false until they lie far
// enough apart and something arrived between them.
bool EstimateBytesPerSecond(const TransferRate& rate, double& bytesPerSecond);

// " · 18.4 MB/s · 3 min left", to follow "Downloading 42%"; empty while there is not
// enough to estimate, and the time is left out when totalBytes is 0 (unknown) or the
// time would pass 99 hours.
std::wstring TransferFiguresText(const TransferRate& rate, std::uint64_t totalBytes);
