// The regular expression that the launcher's hand-written matcher of Lua option lines
// stands in for, as the reference of the lua_options target. Built without coverage
// feedback: the fuzzer should explore the launcher's code, not the regex engine.
#include "lua_pattern_reference.h"

#include <map>
#include <regex>
#include <utility>

namespace {

// Every byte as a hexadecimal escape, so the pattern matches the bytes literally.
std::string EscapeForPattern(const std::string& literal) {
    static const char kHex[] = "0123456789abcdef";
    std::string pattern;
    for (unsigned char c : literal) pattern += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    return pattern;
}

}  // namespace

bool SearchWithRegex(const std::string& text, const std::string& table, const std::string& key, bool& found,
                     std::size_t& begin, std::size_t& end) {
    // Compiling costs far more than searching, so a run compiles a few patterns only
    // and asks them again and again; a single input always gets its answer. Keyed by
    // the pair itself: both may hold any byte, so no separator keeps them apart.
    static std::map<std::pair<std::string, std::string>, std::regex> compiled;
    auto pattern = compiled.find({table, key});
    if (pattern == compiled.end()) {
        if (compiled.size() >= 64) return false;
        const std::string source =
            "(" + EscapeForPattern(table) + "\\[\\\"" + EscapeForPattern(key) + "\\\"\\]\\s*=\\s*)(-?[0-9]+)";
        pattern = compiled.emplace(std::make_pair(table, key), std::regex(source)).first;
    }
    std::smatch result;
    found = std::regex_search(text, result, pattern->second);
    begin = found ? static_cast<std::size_t>(result.position(2)) : 0;
    end = begin + (found ? static_cast<std::size_t>(result.length(2)) : 0);
    return true;
}
