#pragma once
#include <cstddef>
#include <string>

struct RegexMatch {
    bool found = false;
    std::size_t begin = 0;  // the number (group 2), when found
    std::size_t end = 0;
};

// Searches text with the ECMAScript pattern (table\["key"\]\s*=\s*)(-?[0-9]+), table and
// key taken literally. The engine recurses once per character of a white-space run, so
// ask only about texts that fit the stack (4096 bytes do). False when the run has used
// its budget of patterns and this one would need compiling.
bool SearchWithRegex(const std::string& text, const std::string& table, const std::string& key, RegexMatch& match);
