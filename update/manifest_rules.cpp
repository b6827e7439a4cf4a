#include "update/manifest_rules.h"

#include <climits>
#include <cwctype>
#include <limits>

#include "net/json_fields.h"
#include "net/text_conversion.h"

namespace {

constexpr const wchar_t* kManifestInvalidMessage = L"The Hollowmere update manifest is invalid.";
constexpr const wchar_t* kClientSizeInvalidMessage = L"The client download size is invalid.";

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

bool ReadUpdateManifest(const std::string& document, UpdateManifest& manifest, std::wstring& message) {
    static const char* const kKeys[] = {"client_version",   "client_url",   "client_size",    "client_sha256",
                                        "launcher_version", "launcher_url", "launcher_sha256"};
    std::string values[7];
    for (int i = 0; i < 7; ++i) {
        if (!ExtractJsonString(document, kKeys[i], values[i])) {
            message = kManifestInvalidMessage;
            return false;
        }
    }
    UpdateManifest read;
    if (!ParseClientSize(values[2], read.client_size)) {
        message = kClientSizeInvalidMessage;
        return false;
    }
    read.client_version = Utf8ToWide(values[0]);
    read.client_url = Utf8ToWide(values[1]);
    read.client_sha256 = Utf8ToWide(values[3]);
    read.launcher_version = Utf8ToWide(values[4]);
    read.launcher_url = Utf8ToWide(values[5]);
    read.launcher_sha256 = Utf8ToWide(values[6]);
    // Without a version and a package there is nothing to install: a failure like any
    // other, with its own sentence and the earlier record kept.
    if (read.client_version.empty() || read.client_url.empty()) {
        message = kManifestInvalidMessage;
        return false;
    }
    manifest = read;
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
