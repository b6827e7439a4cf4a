// The client size parse and the launcher version comparison, each against the C
// library's own conversion.
// Input: the size text, a "|" byte, then the version text (wide, see fuzz_support.h).
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "fuzz_support.h"
#include "update/manifest_rules.h"
#include "update/update_manifest.h"

namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// strtoull in base 10, except that a minus sign is refused (a negative byte count would
// wrap to an absurd size) and, as everywhere, a value above 64 bits.
bool ReferenceClientSize(const std::string& text, std::uint64_t& size) {
    std::size_t at = 0;
    while (at < text.size() && IsCSpace(text[at])) ++at;
    if (at < text.size() && text[at] == '-') return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(begin, &end, 10);
    if (end == begin || errno == ERANGE) return false;
    size = value;
    return true;
}

// Only where no number runs past nine digits: beyond that "%d" has no defined result.
bool HasLongDigitRun(const std::wstring& text) {
    int run = 0;
    for (wchar_t c : text) {
        run = (c >= L'0' && c <= L'9') ? run + 1 : 0;
        if (run > 9) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* bar = static_cast<const std::uint8_t*>(std::memchr(data, '|', size));
    const std::size_t sizeLength = bar ? static_cast<std::size_t>(bar - data) : size;
    const std::string sizeText(reinterpret_cast<const char*>(data), sizeLength);
    const std::wstring version = bar ? WideUnitsFromBytes(bar + 1, size - sizeLength - 1) : std::wstring();

    std::uint64_t parsed = 12345;
    std::uint64_t expected = 12345;
    const bool accepted = ParseClientSize(sizeText, parsed);
    // strtoull stops at a zero byte, the launcher at any non-digit: the same place.
    FUZZ_CHECK(accepted == ReferenceClientSize(sizeText, expected));
    FUZZ_CHECK(parsed == expected);

    int numbers[3] = {7, 7, 7};
    const bool read = ParseLauncherVersion(version, numbers);
    if (!HasLongDigitRun(version)) {
        int scanned[3] = {7, 7, 7};
        const int count = std::swscanf(version.c_str(), L"%d.%d.%d", &scanned[0], &scanned[1], &scanned[2]);
        FUZZ_CHECK(read == (count == 3));
        if (read) {
            for (int i = 0; i < 3; ++i) FUZZ_CHECK(numbers[i] == scanned[i]);
        }
    }
    if (!read) FUZZ_CHECK(numbers[0] == 7 && numbers[1] == 7 && numbers[2] == 7);

    // Newer means greater in the first number that differs from 2.0.4.
    const int own[3] = {2, 0, 4};
    bool newer = false;
    if (read) {
        for (int i = 0; i < 3; ++i) {
            if (numbers[i] != own[i]) {
                newer = numbers[i] > own[i];
                break;
            }
        }
    }
    FUZZ_CHECK(LauncherUpdateAvailable(version) == newer);
    return 0;
}
