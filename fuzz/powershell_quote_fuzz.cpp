// Quoting a path as a PowerShell single-quoted literal.
// Input: the text (wide, see fuzz_support.h).
#include "fuzz_support.h"
#include "install/powershell_quote.h"

namespace {

bool IsQuoteMark(wchar_t c) { return c == L'\'' || c == 0x2018 || c == 0x2019 || c == 0x201A || c == 0x201B; }

// How PowerShell reads a single-quoted literal: any of the five quote marks ends it,
// unless another quote mark follows at once; the two then stand for one quote. True
// when the literal takes the whole of quoted.
bool ReadSingleQuotedLiteral(const std::wstring& quoted, std::wstring& text) {
    if (quoted.empty() || !IsQuoteMark(quoted[0])) return false;
    text.clear();
    for (std::size_t i = 1; i < quoted.size(); ++i) {
        const wchar_t c = quoted[i];
        if (!IsQuoteMark(c)) {
            text.push_back(c);
        } else if (i + 1 < quoted.size() && IsQuoteMark(quoted[i + 1])) {
            text.push_back(quoted[++i]);
        } else {
            return i + 1 == quoted.size();
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = WideUnitsFromBytes(data, size);
    const std::wstring quoted = QuotePowerShellLiteral(text);
    std::wstring read;
    FUZZ_CHECK(ReadSingleQuotedLiteral(quoted, read));
    FUZZ_CHECK(read == text);
    // Opened and closed with the plain mark, whatever marks the text holds.
    FUZZ_CHECK(quoted.front() == L'\'' && quoted.back() == L'\'');
    return 0;
}
