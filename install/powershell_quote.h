#pragma once
#include <string>

// Quotes text as a PowerShell single-quoted literal. PowerShell ends such a literal at
// any single quote mark, the typographic ones U+2018 to U+201B included, so each of them
// is doubled like the plain one; nothing else needs escaping inside the literal.
std::wstring QuotePowerShellLiteral(const std::wstring& text);
