#include "state/launcher_config.h"

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "net/text_conversion.h"
#include "play/client_interface.h"
#include "state/file_replace.h"
#include "update/update_manifest.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kIniSection = L"Launcher";
constexpr const wchar_t* kInstallPathKey = L"InstallPath";
constexpr const wchar_t* kAccountNameKey = L"AccountName";
constexpr DWORD kInstallPathBufferChars = 32768;
constexpr DWORD kAccountNameBufferChars = 128;

std::wstring ReadIniValue(const wchar_t* key, const wchar_t* fallback, DWORD bufferChars) {
    const std::wstring ini = LauncherIniPath();
    if (ini.empty()) return fallback;
    std::vector<wchar_t> buffer(bufferChars, L'\0');
    GetPrivateProfileStringW(kIniSection, key, fallback, buffer.data(), bufferChars, ini.c_str());
    return buffer.data();
}

constexpr const char kUtf16LeMark[] = "\xFF\xFE";

// The profile functions write Unicode only into a file that already is Unicode, and
// otherwise create or keep the ANSI code page, which turns every other character into
// "?". So a missing file is begun as an empty UTF-16LE file, and an ANSI (or UTF-8) file
// is rewritten as UTF-16LE with the same text, which the profile functions read as they
// read the old one. Failures are left to the profile write that follows.
void MakeIniUnicode(const std::wstring& ini) {
    std::ifstream in(fs::path(ini), std::ios::binary);
    if (!in) {
        HANDLE created = CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(created, kUtf16LeMark, 2, &written, nullptr);
        CloseHandle(created);
        return;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        return;  // already Unicode
    UINT codePage = CP_ACP;
    size_t start = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        codePage = CP_UTF8;
        start = 3;
    }
    std::wstring text;
    const int length = static_cast<int>(bytes.size() - start);
    if (length > 0) {
        text.resize(static_cast<size_t>(MultiByteToWideChar(codePage, 0, bytes.data() + start, length, nullptr, 0)));
        if (text.empty()) return;
        MultiByteToWideChar(codePage, 0, bytes.data() + start, length, &text[0], static_cast<int>(text.size()));
    }
    std::string unicode(kUtf16LeMark, 2);
    unicode.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    ReplaceFileContents(ini, unicode);
}

bool WriteIniValue(const wchar_t* key, const std::wstring& value) {
    const std::wstring ini = LauncherIniPath();
    if (ini.empty()) return false;
    MakeIniUnicode(ini);
    return WritePrivateProfileStringW(kIniSection, key, value.c_str(), ini.c_str()) != FALSE;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A drive letter with its root ("C:\") or a network share ("\\server\share"). "C:Games"
// and "\Games" are not: they depend on the current folder of a drive or on the
// current drive.
bool IsFullPath(const std::wstring& text) {
    if (text.size() >= 3 && text[1] == L':' && IsSeparator(text[2]) &&
        ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z')))
        return true;
    return text.size() >= 3 && IsSeparator(text[0]) && IsSeparator(text[1]) && !IsSeparator(text[2]);
}

constexpr const wchar_t* kNotFullPathMessage =
    L"Enter the full path of the installation folder, for example C:\\Games\\Hollowmere\\Sarnhold.";
constexpr const wchar_t* kDotsOnlyMessage =
    L"A folder name in the installation folder consists only of dots or spaces. Choose another folder.";

}  // namespace

bool MakeInstallFolder(const std::wstring& text, std::wstring& folder, std::wstring& message) {
    const size_t first = text.find_first_not_of(L' ');
    const std::wstring trimmed = first == std::wstring::npos ? std::wstring() : text.substr(first);
    if (!IsFullPath(trimmed)) {
        message = kNotFullPathMessage;
        return false;
    }
    // Before the system resolves the text: it drops such a name at the end silently.
    for (size_t at = 0; at < trimmed.size();) {
        size_t end = trimmed.find_first_of(L"\\/", at);
        if (end == std::wstring::npos) end = trimmed.size();
        const std::wstring name = trimmed.substr(at, end - at);
        if (!name.empty() && name != L"." && name != L".." && name.find_first_not_of(L" .") == std::wstring::npos) {
            message = kDotsOnlyMessage;
            return false;
        }
        at = end + 1;
    }
    const DWORD needed = GetFullPathNameW(trimmed.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        message = kNotFullPathMessage;
        return false;
    }
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD length = GetFullPathNameW(trimmed.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) {
        message = kNotFullPathMessage;
        return false;
    }
    const std::wstring full(buffer.data(), length);
    // Rebuilt name by name after the root ("C:" or "\\server"), each name without the
    // spaces and dots at its end.
    const bool share = full.compare(0, 2, L"\\\\") == 0;
    size_t at = share ? 1 : full.find(L'\\');
    std::wstring result = full.substr(0, at);
    while (at < full.size()) {
        size_t end = full.find(L'\\', at + 1);
        if (end == std::wstring::npos) end = full.size();
        std::wstring name = full.substr(at + 1, end - at - 1);
        at = end;
        if (name.empty()) continue;  // a separator at the end, or a doubled one
        const size_t last = name.find_last_not_of(L" .");
        if (last == std::wstring::npos) {
            message = kDotsOnlyMessage;
            return false;
        }
        result += L'\\' + name.substr(0, last + 1);
    }
    if (!share && result.size() == 2) result += L'\\';  // the root of a drive keeps its separator
    folder = result;
    return true;
}

std::wstring LauncherDataFolder() {
    wchar_t base[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) {
        return std::wstring();
    }
    const fs::path folder = fs::path(base) / L"Hollowmere" / L"Sarnhold";
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    return folder.wstring();
}

std::wstring LauncherIniPath() {
    const std::wstring folder = LauncherDataFolder();
    if (folder.empty()) return std::wstring();
    return (fs::path(folder) / L"launcher.ini").wstring();
}

std::wstring ReadInstallPath() {
    return ReadIniValue(kInstallPathKey, kDefaultInstallFolder, kInstallPathBufferChars);
}

bool WriteInstallPath(const std::wstring& folder) { return WriteIniValue(kInstallPathKey, folder); }

std::wstring ReadAccountName() { return ReadIniValue(kAccountNameKey, L"", kAccountNameBufferChars); }

bool WriteAccountName(const std::wstring& name) { return WriteIniValue(kAccountNameKey, name); }

bool IsClientCurrent(const std::wstring& folder, const UpdateManifest& manifest) {
    // Any failure to read the executable's status (not only its absence) means
    // "not current": the player is offered a repair rather than a broken start.
    std::error_code error;
    if (!fs::is_regular_file(fs::path(folder) / kClientExecutableName, error) || error) return false;

    // The marker is one line of UTF-8. An older launcher wrote one byte per character
    // (up to U+00FF), which is not UTF-8 once it holds such a character: read that way,
    // its marker still names the version it did.
    std::ifstream marker(fs::path(folder) / kClientVersionMarkerName, std::ios::binary);
    std::string line;
    if (marker) std::getline(marker, line);
    // Text mode turns CR LF into a line end; a CR without a following LF stays.
    const bool endedByLineFeed = marker && !marker.eof();
    if (endedByLineFeed && !line.empty() && line.back() == '\r') line.pop_back();
    std::wstring version = Utf8ToWide(line);
    if (version.empty() && !line.empty()) {
        for (unsigned char byte : line) version.push_back(static_cast<wchar_t>(byte));
    }
    return version == manifest.client_version;
}
