// Parsing of the five number texts of the font form and their validation.
// Input: up to five texts separated by "|" (wide, see fuzz_support.h).
#include <cerrno>
#include <cwchar>
#include <cwctype>

#include "fuzz_support.h"
#include "settings/font_settings.h"

namespace {

// wcstoll in base 10, then nothing but white space, within 32 bits.
bool ReferenceWholeNumber(const std::wstring& text, int& value) {
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    const long long parsed = std::wcstoll(begin, &end, 10);
    if (end == begin || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    // A zero unit inside the text is not white space, so it must not end the check early.
    for (std::size_t i = static_cast<std::size_t>(end - begin); i < text.size(); ++i) {
        if (!std::iswspace(text[i])) return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring input = WideUnitsFromBytes(data, size);
    std::wstring texts[5] = {L"100", L"0", L"1", L"14", L"16"};
    std::size_t from = 0;
    for (int i = 0; i < 5 && from <= input.size(); ++i) {
        std::size_t bar = input.find(L'|', from);
        if (bar == std::wstring::npos) bar = input.size();
        texts[i] = input.substr(from, bar - from);
        from = bar + 1;
    }

    int parsed[5] = {};
    bool parses[5] = {};
    for (int i = 0; i < 5; ++i) {
        int value = -99;
        int expected = -99;
        parses[i] = ParseWholeNumber(texts[i], value);
        FUZZ_CHECK(parses[i] == ReferenceWholeNumber(texts[i], expected));
        FUZZ_CHECK(value == expected);
        parsed[i] = value;
    }

    FontSettings settings;
    const FontNumberTexts numberTexts = {texts[0], texts[1], texts[2], texts[3], texts[4]};
    std::wstring message;
    if (ValidateFontSettings(settings, numberTexts, message)) {
        for (int i = 0; i < 5; ++i) FUZZ_CHECK(parses[i]);
        FUZZ_CHECK(settings.ScalePercent == parsed[0] && settings.WeightOffset == parsed[1] &&
                   settings.MinOriginalAbsHeight == parsed[2] && settings.MaxOriginalAbsHeight == parsed[3] &&
                   settings.MaxResultAbsHeight == parsed[4]);
        FUZZ_CHECK(settings.ScalePercent >= 25 && settings.ScalePercent <= 400);
        FUZZ_CHECK(settings.WeightOffset >= -1000 && settings.WeightOffset <= 1000);
        FUZZ_CHECK(settings.MinOriginalAbsHeight >= 0 && settings.MinOriginalAbsHeight <= 255);
        FUZZ_CHECK(settings.MaxOriginalAbsHeight >= 0 && settings.MaxOriginalAbsHeight <= 255);
        FUZZ_CHECK(settings.MaxOriginalAbsHeight == 0 || settings.MinOriginalAbsHeight <= settings.MaxOriginalAbsHeight);
        FUZZ_CHECK(settings.MaxResultAbsHeight >= 0 && settings.MaxResultAbsHeight <= 255);
    } else {
        // One sentence for the player; a "whole number" complaint names the first text
        // that does not parse.
        FUZZ_CHECK(EndsWith(message, L"."));
        int firstBad = 0;
        while (firstBad < 5 && parses[firstBad]) ++firstBad;
        FUZZ_CHECK(EndsWith(message, L" must be a whole number.") == (firstBad < 5));
    }
    return 0;
}
