// The two JSON field lookups on arbitrary documents and keys.
// Input: the key, a "|" byte, then the document (without "|" the key is "token").
#include <cstring>

#include "fuzz_support.h"
#include "net/json_fields.h"

namespace {

const std::string kUntouched = "\x01untouched\x01";

// Where the first occurrence's string value opens (its quote; spaces skipped when
// lenient), or npos when it has none: before that point no lookup may write.
std::size_t StringValueStart(const std::string& document, const std::string& key, bool skipSpaces) {
    const std::size_t at = document.find("\"" + key + "\":");
    if (at == std::string::npos) return at;
    std::size_t i = at + key.size() + 3;
    while (skipSpaces && i < document.size() && document[i] == ' ') ++i;
    return i < document.size() && document[i] == '"' ? i : std::string::npos;
}

// Whether the document, from the byte after the value's opening quote, spells value and
// then its closing quote. Each byte stands as itself or after a backslash; a quote and
// a backslash only after one. Strictly, only a quote, a backslash and a slash may
// follow a backslash.
bool SpellsValue(const std::string& document, std::size_t at, const std::string& value, bool strict) {
    for (char c : value) {
        if (at < document.size() && document[at] == '\\') {
            if (strict && c != '"' && c != '\\' && c != '/') return false;
            ++at;
        } else if (c == '"' || c == '\\') {
            return false;
        }
        if (at >= document.size() || document[at] != c) return false;
        ++at;
    }
    return at < document.size() && document[at] == '"';
}

std::string EscapeQuotesAndBackslashes(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '"' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t bar = input.find('|');
    // The key goes in as a C string, so it ends at its first zero byte.
    const std::string key = bar == std::string::npos ? "token" : input.substr(0, bar).c_str();
    const std::string document = bar == std::string::npos ? input : input.substr(bar + 1);

    std::string lenient = kUntouched;
    std::string strict = kUntouched;
    const bool lenientFound = ExtractJsonString(document, key.c_str(), lenient);
    const bool strictFound = ExtractJsonStringStrict(document, key.c_str(), strict);

    // The strict lookup accepts a subset, and where it accepts, both read the same value:
    // its escapes are exactly the ones the lenient lookup also turns into the second byte.
    if (strictFound) {
        FUZZ_CHECK(lenientFound);
        FUZZ_CHECK(strict == lenient);
    }
    // A value is written only once a string value has begun, and a value found is what
    // the document spells there.
    const std::size_t lenientStart = StringValueStart(document, key, true);
    const std::size_t strictStart = StringValueStart(document, key, false);
    if (lenientStart == std::string::npos) FUZZ_CHECK(lenient == kUntouched);
    if (strictStart == std::string::npos) FUZZ_CHECK(strict == kUntouched);
    if (lenientFound) FUZZ_CHECK(SpellsValue(document, lenientStart + 1, lenient, false));
    if (strictFound) FUZZ_CHECK(SpellsValue(document, strictStart + 1, strict, true));

    // Any bytes written as a JSON string with only the two required escapes come back
    // unchanged from both lookups.
    const std::string written = "{\"" + key + "\":\"" + EscapeQuotesAndBackslashes(document) + "\",\"x\":1}";
    std::string readBack;
    FUZZ_CHECK(ExtractJsonString(written, key.c_str(), readBack) && readBack == document);
    readBack.clear();
    FUZZ_CHECK(ExtractJsonStringStrict(written, key.c_str(), readBack) && readBack == document);
    return 0;
}
