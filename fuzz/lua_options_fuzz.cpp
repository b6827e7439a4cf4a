// Reading and replacing one integer in a Lua options text.
// Input: table, "|", key, "|", the new value in decimal, "|", then the options text.
// Fewer bars: the table and key of the launcher's "WIDTH" line and the value 1280.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <regex>

#include "fuzz_support.h"
#include "settings/lua_options.h"

namespace {

// The text a regular expression needs to match these bytes literally.
std::string EscapeForPattern(const std::string& literal) {
    static const char kHex[] = "0123456789abcdef";
    std::string pattern;
    for (unsigned char c : literal) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            pattern += static_cast<char>(c);
        } else {
            pattern += "\\x";
            pattern += kHex[c >> 4];
            pattern += kHex[c & 15];
        }
    }
    return pattern;
}

// The ECMAScript pattern the matcher stands in for. Its engine recurses once per
// character of a white-space run, so it is asked only about texts that fit the stack.
bool FindWithRegex(const std::string& text, const std::string& table, const std::string& key, std::size_t& begin,
                   std::size_t& end) {
    const std::regex pattern("(" + EscapeForPattern(table) + "\\[\\\"" + EscapeForPattern(key) +
                             "\\\"\\]\\s*=\\s*)(-?[0-9]+)");
    std::smatch match;
    if (!std::regex_search(text, match, pattern)) return false;
    begin = static_cast<std::size_t>(match.position(2));
    end = begin + static_cast<std::size_t>(match.length(2));
    return true;
}

// What ReadLuaInteger gives for a number it found: its value, or the fallback when it
// does not fit 32 bits.
int ExpectedReading(const std::string& number, int fallback) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(number.c_str(), &end, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return fallback;
    return static_cast<int>(value);
}

const std::size_t kLongestForRegex = 4096;

bool NextField(std::string& rest, std::string& field) {
    const std::size_t bar = rest.find('|');
    if (bar == std::string::npos) return false;
    field = rest.substr(0, bar);
    rest.erase(0, bar + 1);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string table = "OptionInfoList";
    std::string key = "WIDTH";
    std::string valueText = "1280";
    std::string rest = text;
    if (NextField(rest, table) && NextField(rest, key) && NextField(rest, valueText)) text = rest;
    const int value = static_cast<int>(std::strtol(valueText.c_str(), nullptr, 10));

    const int firstFallback = -77;
    const int secondFallback = 1 << 30;
    const int read = ReadLuaInteger(text, table, key, firstFallback);
    const int readAgain = ReadLuaInteger(text, table, key, secondFallback);

    std::string replaced = text;
    const bool found = ReplaceLuaInteger(replaced, table, key, value);
    if (!found) {
        FUZZ_CHECK(replaced == text);
        FUZZ_CHECK(read == firstFallback && readAgain == secondFallback);
    } else {
        // The new number reads back, whatever the fallback.
        FUZZ_CHECK(ReadLuaInteger(replaced, table, key, firstFallback) == value);
        FUZZ_CHECK(ReadLuaInteger(replaced, table, key, secondFallback) == value);
    }

    std::size_t begin = 0;
    std::size_t end = 0;
    // The same place as the regular expression, and nothing but its number changed.
    if (text.size() <= kLongestForRegex) {
        const bool regexFound = FindWithRegex(text, table, key, begin, end);
        FUZZ_CHECK(found == regexFound);
        if (found) {
            const std::string number = text.substr(begin, end - begin);
            FUZZ_CHECK(read == ExpectedReading(number, firstFallback));
            FUZZ_CHECK(readAgain == ExpectedReading(number, secondFallback));
            FUZZ_CHECK(replaced == text.substr(0, begin) + std::to_string(value) + text.substr(end));
        }
    }
    return 0;
}
