#include "play/sign_in_text.h"

#include "play/client_interface.h"

namespace {

std::string JsonMember(const char* name, const std::string& value) {
    std::string member = "\"";
    member += name;
    member += "\":\"";
    AppendJsonStringContent(member, value);
    member += '"';
    return member;
}

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != prefix[i]) return false;
    }
    return true;
}

}  // namespace

void AppendJsonStringContent(std::string& out, const std::string& value) {
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char c : value) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
}

std::string BuildDeviceTicketBody(const std::string& deviceToken) {
    return "{" + JsonMember("device_token", deviceToken) + "}";
}

std::string BuildStartBody(const std::string& verifier) { return "{" + JsonMember("verifier", verifier) + "}"; }

std::string BuildRedeemBody(const std::string& handle, const std::string& verifier) {
    return "{" + JsonMember("handle", handle) + "," + JsonMember("verifier", verifier) + "}";
}

std::string EncodeBase64Url(const unsigned char* bytes, size_t count) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    out.reserve((count * 4 + 2) / 3);
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const unsigned value = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kAlphabet[(value >> 18) & 63];
        out += kAlphabet[(value >> 12) & 63];
        out += kAlphabet[(value >> 6) & 63];
        out += kAlphabet[value & 63];
    }
    if (count - i == 1) {
        const unsigned value = bytes[i] << 16;
        out += kAlphabet[(value >> 18) & 63];
        out += kAlphabet[(value >> 12) & 63];
    } else if (count - i == 2) {
        const unsigned value = (bytes[i] << 16) | (bytes[i + 1] << 8);
        out += kAlphabet[(value >> 18) & 63];
        out += kAlphabet[(value >> 12) & 63];
        out += kAlphabet[(value >> 6) & 63];
    }
    return out;
}

bool IsBrowserUrl(const std::wstring& url) {
    return StartsWithIgnoringCase(url, L"https://") || StartsWithIgnoringCase(url, L"http://");
}

std::wstring BuildClientArguments(const std::wstring& ticket, const std::wstring& userName) {
    return kClientTicketPrefix + ticket + L" " + userName + kClientLoginModeSuffix;
}
