// Reading and replacing one integer in a Lua options text, against the regular
// expression the hand-written matcher stands in for.
// Input: table, "|", key, "|", the new value in decimal, "|", then the options text.
// Fewer bars: the table and key of the launcher's "WIDTH" line and the value 1280.
#include <cerrno>

#include "fuzz_support.h"
#include "lua_pattern_reference.h"
#include "settings/lua_options.h"

namespace {

// What ReadLuaInteger gives for a number it found: its value, or the fallback when it
// does not fit 32 bits.
int ExpectedReading(const std::string& number, int fallback) {
    errno = 0;
    const long long value = std::strtoll(number.c_str(), nullptr, 10);
    return errno == ERANGE || value < INT32_MIN || value > INT32_MAX ? fallback : static_cast<int>(value);
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
    std::string table = "OptionInfoList", key = "WIDTH", valueText = "1280", rest = text;
    if (NextField(rest, table) && NextField(rest, key) && NextField(rest, valueText)) text = rest;
    const int value = static_cast<int>(std::strtol(valueText.c_str(), nullptr, 10));
    const int fallback = -77;
    const int read = ReadLuaInteger(text, table, key, fallback);
    std::string replaced = text;
    const bool replacedOne = ReplaceLuaInteger(replaced, table, key, value);
    // The new number reads back; without a match nothing changes.
    FUZZ_CHECK(replacedOne ? ReadLuaInteger(replaced, table, key, fallback) == value : replaced == text);

    // The same place as the regular expression, and nothing but its number changed.
    bool found = false;
    std::size_t begin = 0, end = 0;
    if (text.size() <= 4096 && SearchWithRegex(text, table, key, found, begin, end)) {
        FUZZ_CHECK(replacedOne == found);
        FUZZ_CHECK(read == (found ? ExpectedReading(text.substr(begin, end - begin), fallback) : fallback));
        if (found) FUZZ_CHECK(replaced == text.substr(0, begin) + std::to_string(value) + text.substr(end));
    }
    return 0;
}
