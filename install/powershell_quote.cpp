#include "install/powershell_quote.h"

namespace {

bool IsPowerShellQuoteMark(wchar_t c) { return c == L'\'' || (c >= 0x2018 && c <= 0x201B); }

}  // namespace

std::wstring QuotePowerShellLiteral(const std::wstring& text) {
    std::wstring quoted = L"'";
    quoted.reserve(text.size() + 2);
    for (wchar_t c : text) {
        quoted.push_back(c);
        if (IsPowerShellQuoteMark(c)) quoted.push_back(c);
    }
    quoted.push_back(L'\'');
    return quoted;
}

std::wstring BuildExpandArchiveParameters(const std::wstring& package, const std::wstring& folder) {
    return L"-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command \"Expand-Archive -LiteralPath " +
           QuotePowerShellLiteral(package) + L" -DestinationPath " + QuotePowerShellLiteral(folder) + L" -Force\"";
}
