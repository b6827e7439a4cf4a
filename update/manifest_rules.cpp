#include "update/manifest_rules.h"

#include <climits>
#include <cwctype>
#include <limits>

namespace {

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// One number of a version text, as a "%d" conversion reads it, from text[at].
bool ReadVersionNumber(const std::wstring& text, std::size_t& at, int& number) {
    while (at < text.size() && std::iswspace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
    if (at >= text.size() || text[at] < L'0' || text[at] > L'9') return false;
    long long value = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        // Saturate instead of overflowing: a silly version is still just a large one.
        if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (text[at] - L'0');
    }
    if (negative) value = -value;
    number = static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
    return true;
}

}  // namespace

bool ParseClientSize(const std::string& text, std::uint64_t& size) {
    std::size_t at = 0;
    while (at < text.size() && IsAsciiSpace(text[at])) ++at;
    // A byte count has no sign to speak of; a minus would wrap to an absurd size that
    // no download can ever reach.
    if (at < text.size() && text[at] == '+') ++at;
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const unsigned digit = static_cast<unsigned>(text[at] - '0');
        if (value > (kLargest - digit) / 10) return false;
        value = value * 10 + digit;
    }
    size = value;
    return true;
}

bool ParseLauncherVersion(const std::wstring& text, int (&version)[3]) {
    std::size_t at = 0;
    int read[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != L'.')) return false;
        if (!ReadVersionNumber(text, at, read[i])) return false;
    }
    for (int i = 0; i < 3; ++i) version[i] = read[i];
    return true;
}

bool LauncherUpdateAvailable(const std::wstring& version) {
    int offered[3];
    int own[3];
    if (!ParseLauncherVersion(version, offered) || !ParseLauncherVersion(kLauncherVersion, own)) return false;
    for (int i = 0; i < 3; ++i) {
        if (offered[i] != own[i]) return offered[i] > own[i];
    }
    return false;
}
