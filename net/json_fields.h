#pragma once
#include <string>

// Single string fields looked up in a JSON reply by a plain textual search for
// "key": -- the first occurrence only, at any nesting depth, case-sensitive.
// No JSON tree is built and values are not checked for valid UTF-8.
//
// Both return true with the value in value when that first occurrence holds a
// string. When the key is missing or its value is not a string, value is untouched;
// when a string value is unterminated (or, strictly, badly escaped), value holds
// whatever was gathered and must not be used.

// Lenient: spaces (only 0x20) may stand before the opening quote, and a backslash
// keeps the byte after it as it is (\n gives n, \u00e9 gives u00e9).
bool ExtractJsonString(const std::string& document, const char* key, std::string& value);

// Strict: the opening quote must follow the colon at once, and only \" \\ and \/
// are allowed as escapes.
bool ExtractJsonStringStrict(const std::string& document, const char* key, std::string& value);
