// The sign-in's text pieces: the verifier's base64url encoding, the JSON request bodies
// and the check of the address opened in the browser.
// Input: any bytes. The first 32 (zero-filled when short) stand for the random bytes of a
// verifier; the input split at its first "|" gives a handle and a device token.
#include <cstring>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "play/sign_in_text.h"

namespace {

int Base64UrlDigit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

// Unpadded base64url back to bytes; false on a character outside the alphabet, an
// impossible length, or unused low bits that are not zero.
bool DecodeBase64Url(const std::string& text, std::string& bytes) {
    if (text.size() % 4 == 1) return false;
    bytes.clear();
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const int digit = Base64UrlDigit(c);
        if (digit < 0) return false;
        buffer = (buffer << 6) | static_cast<unsigned>(digit);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return (buffer & ((1u << bits) - 1)) == 0;
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A JSON string as any JSON reader takes it: no raw control characters, the escapes of
// the JSON grammar, \u with four hex digits. Other bytes are kept as they are.
bool ReadJsonString(const std::string& json, std::size_t& at, std::string& value) {
    if (at >= json.size() || json[at] != '"') return false;
    value.clear();
    for (++at; at < json.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(json[at]);
        if (c == '"') {
            ++at;
            return true;
        }
        if (c < 0x20) return false;
        if (c != '\\') {
            value += static_cast<char>(c);
            continue;
        }
        if (++at >= json.size()) return false;
        const char e = json[at];
        const char* simple = std::strchr("\"\\/bfnrt", e);
        if (e != '\0' && simple) {
            static const char kMeaning[] = "\"\\/\b\f\n\r\t";
            value += kMeaning[simple - "\"\\/bfnrt"];
        } else if (e == 'u' && at + 4 < json.size()) {
            unsigned code = 0;
            for (int i = 1; i <= 4; ++i) {
                const char h = json[at + i];
                const int digit = (h >= '0' && h <= '9') ? h - '0'
                                  : (h >= 'a' && h <= 'f') ? h - 'a' + 10
                                  : (h >= 'A' && h <= 'F') ? h - 'A' + 10
                                                           : -1;
                if (digit < 0) return false;
                code = code * 16 + static_cast<unsigned>(digit);
            }
            at += 4;
            AppendUtf8(value, code);
        } else {
            return false;
        }
    }
    return false;
}

// A flat object of string members, with no white space, as the bodies are written.
bool ReadJsonObject(const std::string& json, std::vector<std::pair<std::string, std::string>>& members) {
    std::size_t at = 0;
    if (json.empty() || json[at++] != '{') return false;
    members.clear();
    while (at < json.size()) {
        std::pair<std::string, std::string> member;
        if (!ReadJsonString(json, at, member.first) || at >= json.size() || json[at++] != ':' ||
            !ReadJsonString(json, at, member.second) || at >= json.size())
            return false;
        members.push_back(member);
        const char next = json[at++];
        if (next == '}') return at == json.size();
        if (next != ',') return false;
    }
    return false;
}

using Members = std::vector<std::pair<std::string, std::string>>;

void CheckBody(const std::string& body, const Members& expected) {
    Members members;
    FUZZ_CHECK(ReadJsonObject(body, members));
    FUZZ_CHECK(members == expected);
}

std::wstring WithAsciiCase(std::wstring text, bool upper) {
    for (wchar_t& c : text) {
        if (upper && c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if (!upper && c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The verifier: 32 random bytes give 43 characters of the alphabet, no padding.
    unsigned char random[32] = {};
    std::memcpy(random, data, size < 32 ? size : 32);
    const std::string verifier = EncodeBase64Url(random, 32);
    FUZZ_CHECK(verifier.size() == 43);
    std::string decoded;
    FUZZ_CHECK(DecodeBase64Url(verifier, decoded));
    FUZZ_CHECK(decoded == std::string(reinterpret_cast<const char*>(random), 32));

    // Any length: four characters for every three bytes, the last group cut short.
    const std::string encoded = EncodeBase64Url(data, size);
    FUZZ_CHECK(encoded.size() == (size * 4 + 2) / 3);
    FUZZ_CHECK(DecodeBase64Url(encoded, decoded));
    FUZZ_CHECK(decoded == std::string(reinterpret_cast<const char*>(data), size));

    // Bodies built from arbitrary bytes read back as the same members.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t bar = input.find('|');
    const std::string handle = input.substr(0, bar);
    const std::string token = bar == std::string::npos ? std::string() : input.substr(bar + 1);
    CheckBody(BuildDeviceTicketBody(token), {{"device_token", token}});
    CheckBody(BuildStartBody(input), {{"verifier", input}});
    CheckBody(BuildRedeemBody(handle, token), {{"handle", handle}, {"verifier", token}});

    // The browser check looks at the ASCII letter case of the scheme only.
    const std::wstring url = WideUnitsFromBytes(data, size);
    const bool browser = IsBrowserUrl(url);
    FUZZ_CHECK(browser == IsBrowserUrl(WithAsciiCase(url, true)));
    FUZZ_CHECK(browser == IsBrowserUrl(WithAsciiCase(url, false)));
    const std::wstring lower = WithAsciiCase(url, false);
    FUZZ_CHECK(browser == (lower.compare(0, 8, L"https://") == 0 || lower.compare(0, 7, L"http://") == 0));
    return 0;
}
