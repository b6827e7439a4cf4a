#include "state/launcher_config.h"

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "play/client_interface.h"
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

bool WriteIniValue(const wchar_t* key, const std::wstring& value) {
    const std::wstring ini = LauncherIniPath();
    if (ini.empty()) return false;
    return WritePrivateProfileStringW(kIniSection, key, value.c_str(), ini.c_str()) != FALSE;
}

}  // namespace

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

    // The marker is one line of single-byte text; each byte stands for one character.
    std::ifstream marker(fs::path(folder) / kClientVersionMarkerName, std::ios::binary);
    std::string line;
    if (marker) std::getline(marker, line);
    // Text mode turns CR LF into a line end; a CR without a following LF stays.
    const bool endedByLineFeed = marker && !marker.eof();
    if (endedByLineFeed && !line.empty() && line.back() == '\r') line.pop_back();
    std::wstring version;
    version.reserve(line.size());
    for (unsigned char byte : line) version.push_back(static_cast<wchar_t>(byte));
    return version == manifest.client_version;
}
