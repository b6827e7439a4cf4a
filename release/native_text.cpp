#include "native_text.h"

#include "net/text_conversion.h"

std::wstring Utf8ToWide(const std::string& bytes) {
    std::wstring text;
    for (std::size_t at = 0; at < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        int extra = 0;
        char32_t point = lead;
        char32_t least = 0;
        if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, point = lead & 0x07, least = 0x10000;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, point = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, point = lead & 0x1F, least = 0x80;
        } else if (lead >= 0x80) {
            return std::wstring();
        }
        if (bytes.size() - at <= static_cast<std::size_t>(extra) && extra > 0) return std::wstring();
        for (int i = 1; i <= extra; ++i) {
            const unsigned char next = static_cast<unsigned char>(bytes[at + i]);
            if ((next & 0xC0) != 0x80) return std::wstring();
            point = (point << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and points beyond Unicode are what the system refuses.
        if (point < least || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return std::wstring();
        text.push_back(static_cast<wchar_t>(point));
        at += 1 + extra;
    }
    return text;
}

std::string WideToUtf8(const std::wstring& text) {
    std::string bytes;
    for (wchar_t unit : text) {
        const char32_t point = static_cast<char32_t>(unit);
        if (point < 0x80) {
            bytes.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (point >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else if (point < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | (point >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | (point >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        }
    }
    return bytes;
}
