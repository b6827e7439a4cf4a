#pragma once
#include <cstddef>
#include <string>

// Searches text with the ECMAScript pattern (table\["key"\]\s*=\s*)(-?[0-9]+), table and
// key taken literally; found tells whether it matched, and [begin, end) is the number
// (group 2). The engine recurses once per character of a white-space run, so ask only
// about texts that fit the stack (4096 bytes do). False when the run has used its budget
// of patterns and this one would need compiling.
bool SearchWithRegex(const std::string& text, const std::string& table, const std::string& key, bool& found,
                     std::size_t& begin, std::size_t& end);
