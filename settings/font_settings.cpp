#include "settings/font_settings.h"

#include <windows.h>

#include "state/file_replace.h"

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

// Starting the copy from an empty file rather than none keeps the profile functions from
// serving a stale cached text of an earlier file of that name.
bool CreateEmptyFile(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file != INVALID_HANDLE_VALUE && CloseHandle(file);
}

// The profile functions leave the bytes to the system's cache; they must be on disk
// before the file takes the old one's place.
bool FlushToDisk(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    return CloseHandle(file) && flushed;
}

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

bool SaveFontSettings(const std::wstring& path, const FontSettings& settings, ReplaceCheck beforeReplace) {
    // The player marked it so to keep it as it is; replacing it would undo that.
    if (IsReadOnlyFile(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
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
    // The keys go into a copy beside the file (other keys and the text encoding come
    // along), which then takes the file's place in one step: a failed write or a kill
    // leaves the old file whole, never half old and half new or cut short.
    const std::wstring temporary = ReplacementFilePath(path);
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);  // a stale copy may be read-only
    bool done = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES
                    ? CopyFileW(path.c_str(), temporary.c_str(), FALSE) != FALSE
                    : CreateEmptyFile(temporary);
    // Stop at the first failure so the caller still sees its error code.
    for (const Entry& entry : entries) done = done && WriteText(temporary, entry.section, entry.key, entry.value);
    if (done) {
        // Flush the system's cached copy of the file; its result is not part of success.
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, temporary.c_str());
        done = FlushToDisk(temporary) && (!beforeReplace || beforeReplace(temporary)) &&
               MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!done) {
        const DWORD code = GetLastError();
        DeleteFileW(temporary.c_str());
        SetLastError(code);
    }
    return done;
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
