#include "net/text_conversion.h"

#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(const std::string& bytes) {
    // MultiByteToWideChar takes an int length; larger inputs are never small documents.
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::wstring();
    const int length = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (units < 1) return std::wstring();
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, &text[0], units) != units)
        return std::wstring();
    return text;
}
