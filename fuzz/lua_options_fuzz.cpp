// Reading and replacing one integer in a Lua options text.
// Input: table, "|", key, "|", the new value in decimal, "|", then the options text.
// Fewer bars: the table and key of the launcher's "WIDTH" line and the value 1280.
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "lua_pattern_reference.h"
#include "settings/lua_options.h"

namespace {

// What ReadLuaInteger gives for a number it found: its value, or the fallback when it
// does not fit 32 bits.
int ExpectedReading(const std::string& number, int fallback) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(number.c_str(), &end, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return fallback;
    return static_cast<int>(value);
}

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

    // The same place as the regular expression, and nothing but its number changed.
    RegexMatch match;
    if (text.size() <= 4096 && SearchWithRegex(text, table, key, match)) {
        FUZZ_CHECK(found == match.found);
        if (found) {
            const std::string number = text.substr(match.begin, match.end - match.begin);
            FUZZ_CHECK(read == ExpectedReading(number, firstFallback));
            FUZZ_CHECK(readAgain == ExpectedReading(number, secondFallback));
            FUZZ_CHECK(replaced == text.substr(0, match.begin) + std::to_string(value) + text.substr(match.end));
        }
    }
    return 0;
}
