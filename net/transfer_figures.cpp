#include "net/transfer_figures.h"

#include <cmath>

namespace {

// The speed is the average over about this long, so it follows a change within seconds
// but does not jump with every read.
constexpr std::uint64_t kRateWindowMs = 5000;
// Before this much time lies between two samples the figure would be mostly noise.
constexpr std::uint64_t kMinimumSpanMs = 2000;
constexpr std::uint64_t kLongestTimeLeftSeconds = 99 * 3600;
constexpr const wchar_t* kSeparator = L" \u00B7 ";

std::wstring TimeLeftText(std::uint64_t seconds) {
    if (seconds < 60) return std::to_wstring(seconds) + L" s left";
    const std::uint64_t minutes = (seconds + 30) / 60;  // to the nearest minute
    if (minutes < 60) return std::to_wstring(minutes) + L" min left";
    return std::to_wstring(minutes / 60) + L" h " + std::to_wstring(minutes % 60) + L" min left";
}

}  // namespace

std::wstring FormatByteSize(std::uint64_t bytes, bool roundUp) {
    static const wchar_t* const kUnits[] = {L"KB", L"MB", L"GB", L"TB"};
    if (bytes < 1024) return std::to_wstring(bytes) + L" bytes";
    int index = 0;
    std::uint64_t unit = 1024;
    while (index < 3 && bytes / 1024 >= unit) {
        unit *= 1024;
        ++index;
    }
    const std::uint64_t whole = bytes / unit;
    const std::uint64_t rest = bytes % unit;
    // Tenths, without multiplying the whole count (which could overflow).
    std::uint64_t tenths = whole * 10 + rest * 10 / unit;
    if (roundUp && rest * 10 % unit != 0) ++tenths;
    if (tenths < 1000) {
        return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" " + kUnits[index];
    }
    const std::uint64_t rounded = whole + (roundUp && rest != 0 ? 1 : 0);
    return std::to_wstring(rounded) + L" " + kUnits[index];
}

void AddTransferSample(TransferRate& rate, std::uint64_t timeMs, std::uint64_t bytes) {
    std::vector<TransferSample>& samples = rate.samples;
    if (!samples.empty()) {
        const TransferSample& last = samples.back();
        if (bytes < last.bytes || timeMs < last.timeMs) {
            samples.clear();
        } else if (bytes == last.bytes) {
            return;
        }
    }
    samples.push_back({timeMs, bytes});
    std::size_t drop = 0;
    while (drop + 1 < samples.size() && samples[drop + 1].timeMs + kRateWindowMs <= timeMs) ++drop;
    samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(drop));
}

bool EstimateBytesPerSecond(const TransferRate& rate, double& bytesPerSecond) {
    if (rate.samples.size() < 2) return false;
    const TransferSample& first = rate.samples.front();
    const TransferSample& last = rate.samples.back();
    const std::uint64_t span = last.timeMs - first.timeMs;
    if (span < kMinimumSpanMs || last.bytes <= first.bytes) return false;
    bytesPerSecond = static_cast<double>(last.bytes - first.bytes) * 1000.0 / static_cast<double>(span);
    return true;
}

std::wstring TransferFiguresText(const TransferRate& rate, std::uint64_t totalBytes) {
    double bytesPerSecond = 0;
    if (!EstimateBytesPerSecond(rate, bytesPerSecond)) return std::wstring();
    std::wstring text =
        kSeparator + FormatByteSize(static_cast<std::uint64_t>(std::llround(bytesPerSecond)), false) + L"/s";
    const std::uint64_t received = rate.samples.back().bytes;
    if (totalBytes == 0 || received >= totalBytes) return text;
    const double seconds = std::ceil(static_cast<double>(totalBytes - received) / bytesPerSecond);
    if (seconds > static_cast<double>(kLongestTimeLeftSeconds)) return text;
    return text + kSeparator + TimeLeftText(static_cast<std::uint64_t>(seconds));
}
