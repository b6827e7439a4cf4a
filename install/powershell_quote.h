#pragma once
#include <string>

// Quotes text as a PowerShell single-quoted literal. PowerShell ends such a literal at
// any single quote mark, the typographic ones U+2018 to U+201B included, so each of them
// is doubled like the plain one; nothing else needs escaping inside the literal.
std::wstring QuotePowerShellLiteral(const std::wstring& text);

// The parameters that make powershell.exe unpack package into folder, replacing files:
// one -Command text in double quotes, each path a single-quoted literal.
std::wstring BuildExpandArchiveParameters(const std::wstring& package, const std::wstring& folder);
