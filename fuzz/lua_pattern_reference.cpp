// The regular expression that the launcher's hand-written matcher of Lua option lines
// stands in for, as the reference of the lua_options target. Built without coverage
// feedback: the fuzzer should explore the launcher's code, not the regex engine.
#include "lua_pattern_reference.h"

#include <map>
#include <regex>
#include <utility>

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

}  // namespace

bool SearchWithRegex(const std::string& text, const std::string& table, const std::string& key, RegexMatch& match) {
    // Compiling costs far more than searching, so a run compiles a few patterns only
    // and asks them again and again; a single input always gets its answer.
    // Keyed by the pair itself: both may hold any byte, so no separator keeps them apart.
    static std::map<std::pair<std::string, std::string>, std::regex> compiled;
    const std::pair<std::string, std::string> tableAndKey(table, key);
    auto pattern = compiled.find(tableAndKey);
    if (pattern == compiled.end()) {
        if (compiled.size() >= 64) return false;
        const std::string source = "(" + EscapeForPattern(table) + "\\[\\\"" + EscapeForPattern(key) +
                                   "\\\"\\]\\s*=\\s*)(-?[0-9]+)";
        pattern = compiled.emplace(tableAndKey, std::regex(source)).first;
    }
    std::smatch result;
    match.found = std::regex_search(text, result, pattern->second);
    if (match.found) {
        match.begin = static_cast<std::size_t>(result.position(2));
        match.end = match.begin + static_cast<std::size_t>(result.length(2));
    }
    return true;
}
