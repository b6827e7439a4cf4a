#pragma once
#include <string>

// Text between the launcher's wide strings and this tool's UTF-8 output. The launcher's
// own Utf8ToWide (net/text_conversion.h) is defined here for Linux, where wchar_t holds
// whole code points, with the same rule as the launcher's: invalid UTF-8 anywhere gives
// empty text.
std::string WideToUtf8(const std::wstring& text);
