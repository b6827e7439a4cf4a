// The two JSON field lookups on arbitrary documents and keys, against what the document
// spells. Input: the key, a "|" byte, then the document (without "|" the key is "token").
#include "fuzz_support.h"
#include "net/json_fields.h"

namespace {

const std::string kUntouched = "\x01untouched\x01";

// Whether a lookup that found value read what the document spells there: the first
// occurrence of the key, then (spaces, when lenient) the opening quote, the value's bytes
// each as itself or after a backslash (a quote and a backslash only after one; strictly,
// only those two and a slash may follow one), then the closing quote. When no string
// value opens there, the value must be untouched instead.
bool ReadAsSpelled(const std::string& document, const std::string& key, bool found, const std::string& value,
                   bool strict) {
    std::size_t at = document.find("\"" + key + "\":");
    if (at != std::string::npos) at += key.size() + 3;
    while (!strict && at < document.size() && document[at] == ' ') ++at;
    if (at >= document.size() || document[at++] != '"') return !found && value == kUntouched;
    if (!found) return true;
    for (char c : value) {
        if (at < document.size() && document[at] == '\\') {
            if (strict && c != '"' && c != '\\' && c != '/') return false;
            ++at;
        } else if (c == '"' || c == '\\') {
            return false;
        }
        if (at >= document.size() || document[at++] != c) return false;
    }
    return at < document.size() && document[at] == '"';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t bar = input.find('|');
    // The key goes in as a C string, so it ends at its first zero byte.
    const std::string key = bar == std::string::npos ? "token" : input.substr(0, bar).c_str();
    const std::string document = bar == std::string::npos ? input : input.substr(bar + 1);
    std::string lenient = kUntouched, strict = kUntouched;
    const bool lenientFound = ExtractJsonString(document, key.c_str(), lenient);
    const bool strictFound = ExtractJsonStringStrict(document, key.c_str(), strict);
    FUZZ_CHECK(ReadAsSpelled(document, key, lenientFound, lenient, false));
    FUZZ_CHECK(ReadAsSpelled(document, key, strictFound, strict, true));
    // The strict lookup accepts a subset, and where it accepts, both read the same value.
    FUZZ_CHECK(!strictFound || (lenientFound && strict == lenient));

    // Any bytes written as a JSON string with only the two required escapes come back
    // unchanged from both lookups.
    std::string written = "{\"" + key + "\":\"";
    for (char c : document) written += (c == '"' || c == '\\' ? "\\" : "") + std::string(1, c);
    written += "\",\"x\":1}";
    std::string readBack;
    FUZZ_CHECK(ExtractJsonString(written, key.c_str(), readBack) && readBack == document);
    readBack.clear();
    FUZZ_CHECK(ExtractJsonStringStrict(written, key.c_str(), readBack) && readBack == document);
    return 0;
}
