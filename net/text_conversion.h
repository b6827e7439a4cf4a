#pragma once
#include <string>

// The one conversion from the wire's UTF-8 bytes to the wide text the rest of the
// launcher uses. Invalid UTF-8 anywhere gives empty text: no partial result and no
// replacement characters. A leading byte-order mark is kept (as U+FEFF).
std::wstring Utf8ToWide(const std::string& bytes);
