// Pure validation of the font form; no platform calls, so it is tested and fuzzed directly.
#include <cstdint>
#include <cwctype>

#include "settings/font_settings.h"

bool ParseWholeNumber(const std::wstring& text, int& value) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    const size_t firstDigit = i;
    // Accumulate in 64 bits and stop caring once past the 32-bit range, so a long run
    // of digits can neither overflow nor be mistaken for a small number.
    std::int64_t magnitude = 0;
    bool tooLarge = false;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        if (!tooLarge) {
            magnitude = magnitude * 10 + (text[i] - L'0');
            if (magnitude > 2147483648LL) tooLarge = true;
        }
        ++i;
    }
    if (i == firstDigit) return false;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    if (i != text.size()) return false;
    if (tooLarge) return false;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > 2147483647LL || signedValue < -2147483648LL) return false;
    value = static_cast<int>(signedValue);
    return true;
}

bool ValidateFontSettings(FontSettings& settings, const FontNumberTexts& texts, std::wstring& message) {
    struct NumberField {
        const std::wstring& text;
        int& target;
        const wchar_t* label;
    };
    const NumberField fields[] = {
        {texts.ScalePercent, settings.ScalePercent, L"Scale percent"},
        {texts.WeightOffset, settings.WeightOffset, L"Weight offset"},
        {texts.MinOriginalAbsHeight, settings.MinOriginalAbsHeight, L"Minimum original height"},
        {texts.MaxOriginalAbsHeight, settings.MaxOriginalAbsHeight, L"Maximum original height"},
        {texts.MaxResultAbsHeight, settings.MaxResultAbsHeight, L"Maximum result height"},
    };
    for (const NumberField& field : fields) {
        if (!ParseWholeNumber(field.text, field.target)) {
            message = std::wstring(field.label) + L" must be a whole number.";
            return false;
        }
    }
    auto outside = [](int value, int low, int high) { return value < low || value > high; };
    if (outside(settings.ScalePercent, 25, 400)) {
        message = L"Scale percent must be between 25 and 400.";
        return false;
    }
    if (outside(settings.WeightOffset, -1000, 1000)) {
        message = L"Weight offset must be between -1000 and 1000.";
        return false;
    }
    if (outside(settings.MinOriginalAbsHeight, 0, 255)) {
        message = L"Minimum original height must be between 0 and 255.";
        return false;
    }
    if (outside(settings.MaxOriginalAbsHeight, 0, 255)) {
        message = L"Maximum original height must be between 0 and 255.";
        return false;
    }
    if (settings.MaxOriginalAbsHeight > 0 && settings.MinOriginalAbsHeight > settings.MaxOriginalAbsHeight) {
        message = L"Minimum original height cannot exceed the maximum.";
        return false;
    }
    if (outside(settings.MaxResultAbsHeight, 0, 255)) {
        message = L"Maximum result height must be between 0 and 255.";
        return false;
    }
    return true;
}
