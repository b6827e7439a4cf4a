#include "settings/font_settings.h"

#include <windows.h>

namespace {

constexpr const wchar_t* kFontSection = L"Font";
constexpr const wchar_t* kBrowserSection = L"Browser";

int ReadInt(const std::wstring& path, const wchar_t* section, const wchar_t* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntW(section, key, fallback, path.c_str()));
}

bool WriteText(const std::wstring& path, const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    return WritePrivateProfileStringW(section, key, value.c_str(), path.c_str()) != FALSE;
}

const wchar_t* FlagText(bool value) { return value ? L"1" : L"0"; }

}  // namespace

FontSettings LoadFontSettings(const std::wstring& path) {
    FontSettings settings;
    settings.Enabled = ReadInt(path, kFontSection, L"Enabled", 0) != 0;
    wchar_t name[kFontNameMaxChars + 1] = {};
    GetPrivateProfileStringW(kFontSection, L"FontName", L"Tahoma", name, kFontNameMaxChars + 1, path.c_str());
    settings.FontName = name;
    settings.ReplaceAllFontNames = ReadInt(path, kFontSection, L"ReplaceAllFontNames", 0) != 0;
    settings.ScalePercent = ReadInt(path, kFontSection, L"ScalePercent", 100);
    settings.WeightOffset = ReadInt(path, kFontSection, L"WeightOffset", 0);
    settings.MinOriginalAbsHeight = ReadInt(path, kFontSection, L"MinOriginalAbsHeight", 1);
    settings.MaxOriginalAbsHeight = ReadInt(path, kFontSection, L"MaxOriginalAbsHeight", 14);
    settings.MaxResultAbsHeight = ReadInt(path, kFontSection, L"MaxResultAbsHeight", 16);
    settings.BlockExternalUrls = ReadInt(path, kBrowserSection, L"BlockExternalUrls", 1) != 0;
    return settings;
}

bool SaveFontSettings(const std::wstring& path, const FontSettings& settings) {
    struct Entry {
        const wchar_t* section;
        const wchar_t* key;
        std::wstring value;
    };
    const Entry entries[] = {
        {kFontSection, L"Enabled", FlagText(settings.Enabled)},
        {kFontSection, L"FontName", settings.FontName},
        {kFontSection, L"ReplaceAllFontNames", FlagText(settings.ReplaceAllFontNames)},
        {kFontSection, L"ScalePercent", std::to_wstring(settings.ScalePercent)},
        {kFontSection, L"WeightOffset", std::to_wstring(settings.WeightOffset)},
        {kFontSection, L"MinOriginalAbsHeight", std::to_wstring(settings.MinOriginalAbsHeight)},
        {kFontSection, L"MaxOriginalAbsHeight", std::to_wstring(settings.MaxOriginalAbsHeight)},
        {kFontSection, L"MaxResultAbsHeight", std::to_wstring(settings.MaxResultAbsHeight)},
        {kBrowserSection, L"BlockExternalUrls", FlagText(settings.BlockExternalUrls)},
    };
    for (const Entry& entry : entries) {
        // Stop at once so the caller still sees this write's error code.
        if (!WriteText(path, entry.section, entry.key, entry.value)) return false;
    }
    // Flush the system's cached copy of the file; its result is not part of success.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    return true;
}

int RunFontSelfTest(const std::wstring& path) {
    FontSettings written;
    written.Enabled = false;
    written.FontName = L"Tahoma";
    written.ReplaceAllFontNames = true;
    written.ScalePercent = 123;
    written.WeightOffset = 75;
    written.MinOriginalAbsHeight = 2;
    written.MaxOriginalAbsHeight = 18;
    written.MaxResultAbsHeight = 20;
    written.BlockExternalUrls = false;
    if (!SaveFontSettings(path, written)) return 20;
    const FontSettings read = LoadFontSettings(path);
    const bool same = read.Enabled == written.Enabled && read.FontName == written.FontName &&
                      read.ReplaceAllFontNames == written.ReplaceAllFontNames &&
                      read.ScalePercent == written.ScalePercent && read.WeightOffset == written.WeightOffset &&
                      read.MinOriginalAbsHeight == written.MinOriginalAbsHeight &&
                      read.MaxOriginalAbsHeight == written.MaxOriginalAbsHeight &&
                      read.MaxResultAbsHeight == written.MaxResultAbsHeight &&
                      read.BlockExternalUrls == written.BlockExternalUrls;
    return same ? 0 : 21;
}
