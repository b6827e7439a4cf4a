#include "net/json_fields.h"

namespace {

// The index just after "key": in its first occurrence, or npos.
std::size_t FindValueStart(const std::string& document, const char* key) {
    const std::string needle = std::string("\"") + key + "\":";
    const std::size_t at = document.find(needle);
    return at == std::string::npos ? at : at + needle.size();
}

}  // namespace

bool ExtractJsonString(const std::string& document, const char* key, std::string& value) {
    std::size_t at = FindValueStart(document, key);
    if (at == std::string::npos) return false;
    while (at < document.size() && document[at] == ' ') ++at;
    if (at >= document.size() || document[at] != '"') return false;
    value.clear();
    for (++at; at < document.size(); ++at) {
        const char byte = document[at];
        if (byte == '"') return true;
        if (byte == '\\') {
            if (at + 1 == document.size()) {
                value.push_back(byte);
                return false;
            }
            value.push_back(document[++at]);
        } else {
            value.push_back(byte);
        }
    }
    return false;
}

bool ExtractJsonStringStrict(const std::string& document, const char* key, std::string& value) {
    std::size_t at = FindValueStart(document, key);
    if (at == std::string::npos || at >= document.size() || document[at] != '"') return false;
    value.clear();
    bool escaped = false;
    for (++at; at < document.size(); ++at) {
        const char byte = document[at];
        if (escaped) {
            if (byte != '"' && byte != '\\' && byte != '/') return false;
            value.push_back(byte);
            escaped = false;
        } else if (byte == '\\') {
            escaped = true;
        } else if (byte == '"') {
            return true;
        } else {
            value.push_back(byte);
        }
    }
    return false;
}
