#pragma once
#include <string>

#include "state/file_replace.h"

// The game client's font-adjustment settings, kept in "SarnFont.ini".
struct FontSettings {
    bool Enabled = false;
    std::wstring FontName = L"Tahoma";  // at most 31 characters
    bool ReplaceAllFontNames = false;
    int ScalePercent = 100;
    int WeightOffset = 0;
    int MinOriginalAbsHeight = 1;
    int MaxOriginalAbsHeight = 14;  // 0 = no limit
    int MaxResultAbsHeight = 16;    // 0 = no cap
    bool BlockExternalUrls = true;
};

constexpr int kFontNameMaxChars = 31;

// Never fails: a missing file or key gives that key's default; stored numbers are
// taken as they are, without a range check.
FontSettings LoadFontSettings(const std::wstring& path);

// Writes the nine keys in order into a copy beside the file ("SarnFont.ini.tmp", other
// keys kept), flushes it and lets it replace the file in one step. Stops at the first
// failed step, returning false with the platform's last error still current; the file is
// then unchanged and the copy gone. A read-only file is refused (ERROR_ACCESS_DENIED).
// The folder is not created here. beforeReplace: as for ReplaceFileContents (tests only).
bool SaveFontSettings(const std::wstring& path, const FontSettings& settings,
                      ReplaceCheck beforeReplace = nullptr);

// The texts of the five number fields, in the order the form shows them.
struct FontNumberTexts {
    std::wstring ScalePercent;
    std::wstring WeightOffset;
    std::wstring MinOriginalAbsHeight;
    std::wstring MaxOriginalAbsHeight;
    std::wstring MaxResultAbsHeight;
};

// Parses the number texts into settings and checks every range. On false, message
// holds the first problem found and settings may hold some parsed numbers.
bool ValidateFontSettings(FontSettings& settings, const FontNumberTexts& texts, std::wstring& message);

// Parses a base-10 signed 32-bit integer: white space before and after, one optional
// sign, at least one digit, nothing else. Used by the validation above.
bool ParseWholeNumber(const std::wstring& text, int& value);

// Writes a fixed record to path and reads it back: 0 equal, 20 save failed, 21 differs.
int RunFontSelfTest(const std::wstring& path);
