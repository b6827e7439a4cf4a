#include "settings/lua_options.h"

#include <cstdint>
#include <limits>

namespace {

// The characters a regular expression's \s takes in a byte string.
bool IsLuaSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Where the number of a matching line sits: its optional minus sign and its digits.
struct NumberSpan {
    size_t begin = 0;
    size_t end = 0;
};

bool FindLuaInteger(const std::string& text, const std::string& table, const std::string& key, NumberSpan& span) {
    const std::string head = table + "[\"" + key + "\"]";
    const size_t size = text.size();
    for (size_t start = text.find(head); start != std::string::npos; start = text.find(head, start + 1)) {
        size_t i = start + head.size();
        while (i < size && IsLuaSpace(text[i])) ++i;
        if (i == size || text[i] != '=') continue;
        ++i;
        while (i < size && IsLuaSpace(text[i])) ++i;
        const size_t numberBegin = i;
        if (i < size && text[i] == '-') ++i;
        const size_t digitsBegin = i;
        while (i < size && IsDigit(text[i])) ++i;
        if (i == digitsBegin) continue;
        span.begin = numberBegin;
        span.end = i;
        return true;
    }
    return false;
}

// False when the number does not fit 32 bits; any count of leading zeros is fine.
bool ParseInt32(const std::string& text, const NumberSpan& span, int& value) {
    size_t i = span.begin;
    const bool negative = text[i] == '-';
    if (negative) ++i;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (; i < span.end; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) return false;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

int ClampToInt(std::int64_t value) {
    if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

}  // namespace

int ReadLuaInteger(const std::string& text, const std::string& table, const std::string& key, int fallback) {
    NumberSpan span;
    if (!FindLuaInteger(text, table, key, span)) return fallback;
    int value = 0;
    // A number too large for 32 bits is as good as no number: the key's default.
    return ParseInt32(text, span, value) ? value : fallback;
}

bool ReplaceLuaInteger(std::string& text, const std::string& table, const std::string& key, int value) {
    NumberSpan span;
    if (!FindLuaInteger(text, table, key, span)) return false;
    text.replace(span.begin, span.end - span.begin, std::to_string(value));
    return true;
}

// 64-bit arithmetic: a stored volume may be any 32-bit number, and the product must not overflow.
int VolumeToPercent(int volume) { return ClampToInt((static_cast<std::int64_t>(volume) * 100 + 63) / 127); }

int PercentToVolume(int percent) { return ClampToInt((static_cast<std::int64_t>(percent) * 127 + 50) / 100); }
