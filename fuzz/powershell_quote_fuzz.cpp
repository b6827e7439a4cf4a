// Quoting paths as PowerShell single-quoted literals, alone and in the unpacking command.
// Input: the package path, "|", the install folder (wide, see fuzz_support.h); without
// "|" both are the whole input.
#include "fuzz_support.h"
#include "install/powershell_quote.h"

namespace {

bool IsQuoteMark(wchar_t c) { return c == L'\'' || c == 0x2018 || c == 0x2019 || c == 0x201A || c == 0x201B; }

// How PowerShell reads a single-quoted literal that opens at quoted[at]: any of the five
// quote marks ends it, unless another quote mark follows at once; the two then stand for
// one quote. On true, at is just past the closing mark.
bool ReadSingleQuotedLiteral(const std::wstring& quoted, std::size_t& at, std::wstring& text) {
    if (at >= quoted.size() || !IsQuoteMark(quoted[at])) return false;
    text.clear();
    for (++at; at < quoted.size(); ++at) {
        const wchar_t c = quoted[at];
        if (!IsQuoteMark(c)) {
            text.push_back(c);
        } else if (at + 1 < quoted.size() && IsQuoteMark(quoted[at + 1])) {
            text.push_back(quoted[++at]);
        } else {
            ++at;
            return true;
        }
    }
    return false;
}

// Whether text stands in line at position at; moves past it when it does.
bool Expect(const std::wstring& line, std::size_t& at, const std::wstring& text) {
    if (line.compare(at, text.size(), text) != 0) return false;
    at += text.size();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring input = WideUnitsFromBytes(data, size);
    const std::size_t bar = input.find(L'|');
    const std::wstring package = input.substr(0, bar);
    const std::wstring folder = bar == std::wstring::npos ? input : input.substr(bar + 1);

    // The literal alone reads back whole, opened and closed with the plain mark.
    const std::wstring quoted = QuotePowerShellLiteral(input);
    std::size_t at = 0;
    std::wstring read;
    FUZZ_CHECK(ReadSingleQuotedLiteral(quoted, at, read) && at == quoted.size());
    FUZZ_CHECK(read == input);
    FUZZ_CHECK(quoted.front() == L'\'' && quoted.back() == L'\'');

    // In the command, each path reads back from its place between the fixed words.
    const std::wstring parameters = BuildExpandArchiveParameters(package, folder);
    const std::wstring command = L"-Command \"Expand-Archive -LiteralPath ";
    at = parameters.find(command);
    FUZZ_CHECK(at != std::wstring::npos);
    at += command.size();
    FUZZ_CHECK(ReadSingleQuotedLiteral(parameters, at, read) && read == package);
    FUZZ_CHECK(Expect(parameters, at, L" -DestinationPath "));
    FUZZ_CHECK(ReadSingleQuotedLiteral(parameters, at, read) && read == folder);
    FUZZ_CHECK(Expect(parameters, at, L" -Force\"") && at == parameters.size());
    return 0;
}
