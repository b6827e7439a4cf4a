#include "settings/game_options.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "play/client_interface.h"
#include "resources/resource_ids.h"
#include "settings/lua_options.h"
#include "state/file_replace.h"
#include "state/launcher_config.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOptionTable = "OptionInfoList";
constexpr const char* kSwitchTable = "CmdOnOffList";

struct RegistryKey {
    HKEY handle = nullptr;
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (handle) RegCloseKey(handle);
    }
};

// False when the file could not be opened or a read failed; text is then empty.
bool ReadOptionsText(const fs::path& path, std::string& text) {
    text.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        text.clear();
        return false;
    }
    return true;
}

// The new text goes to a file beside the options file that then takes its place, so a
// crash, a kill or a full disk half-way leaves the player's file whole: the client
// never finds a truncated or half-old, half-new options file.
bool WriteOptionsText(const std::wstring& path, const std::string& text) {
    return ReplaceFileContents(path, text);
}

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && !error;
}

// The nine replacements, in this order; false at the first line that is missing.
bool ApplyGameOptions(std::string& text, const GameOptions& options) {
    return ReplaceLuaInteger(text, kOptionTable, "WIDTH", options.Width) &&
           ReplaceLuaInteger(text, kOptionTable, "HEIGHT", options.Height) &&
           ReplaceLuaInteger(text, kOptionTable, "OLD_WIDTH", options.Width) &&
           ReplaceLuaInteger(text, kOptionTable, "OLD_HEIGHT", options.Height) &&
           ReplaceLuaInteger(text, kOptionTable, "ISFULLSCREENMODE", options.Fullscreen ? 1 : 0) &&
           ReplaceLuaInteger(text, kOptionTable, "Bgm_Volume", options.MusicVolume) &&
           ReplaceLuaInteger(text, kOptionTable, "Effect_Volume", options.EffectVolume) &&
           ReplaceLuaInteger(text, kSwitchTable, "/bgm", options.MusicOn ? 1 : 0) &&
           ReplaceLuaInteger(text, kSwitchTable, "/sound", options.SoundOn ? 1 : 0);
}

}  // namespace

std::wstring GameOptionsPath() { return GameOptionsPathIn(ReadInstallPath()); }

std::wstring GameOptionsPathIn(const std::wstring& installFolder) {
    return (fs::path(installFolder) / kGameOptionsFolderName / kGameOptionsFileName).wstring();
}

GameOptions LoadGameOptions() { return LoadGameOptionsFrom(GameOptionsPath()); }

GameOptions LoadGameOptionsFrom(const std::wstring& path) {
    std::string text;
    ReadOptionsText(fs::path(path), text);
    GameOptions options;
    options.Width = ReadLuaInteger(text, kOptionTable, "WIDTH", 1920);
    options.Height = ReadLuaInteger(text, kOptionTable, "HEIGHT", 1080);
    options.Fullscreen = ReadLuaInteger(text, kOptionTable, "ISFULLSCREENMODE", 0) != 0;
    options.MusicVolume = ReadLuaInteger(text, kOptionTable, "Bgm_Volume", 17);
    options.EffectVolume = ReadLuaInteger(text, kOptionTable, "Effect_Volume", 17);
    options.MusicOn = ReadLuaInteger(text, kSwitchTable, "/bgm", 1) != 0;
    options.SoundOn = ReadLuaInteger(text, kSwitchTable, "/sound", 1) != 0;
    return options;
}

bool SaveGameOptions(const GameOptions& options) { return SaveGameOptionsTo(GameOptionsPath(), options); }

bool SaveGameOptionsTo(const std::wstring& pathText, const GameOptions& options) {
    const fs::path path(pathText);
    std::string text;
    // A file that is there but cannot be read must not be replaced by the default
    // text: that would throw away every option the launcher does not edit.
    if (!ReadOptionsText(path, text) && IsRegularFile(path)) return false;
    if (text.empty() && !LoadDefaultOptionsText(text)) return false;
    if (!ApplyGameOptions(text, options)) return false;

    // The player marked it so to keep it as it is; replacing it would undo that.
    if (IsReadOnlyFile(pathText)) return false;
    if (!IsRegularFile(path)) {
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (error) return false;
    }
    if (!WriteOptionsText(pathText, text)) return false;
    // Earlier launchers kept a copy of the old file while saving; one a failed save left
    // behind is of no further use once a new file is in place.
    const std::wstring oldBackup = pathText + kGameOptionsBackupSuffix;
    SetFileAttributesW(oldBackup.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(oldBackup.c_str());

    SetGameRegistryDword(L"WIDTH", static_cast<std::uint32_t>(options.Width));
    SetGameRegistryDword(L"HEIGHT", static_cast<std::uint32_t>(options.Height));
    SetGameRegistryDword(L"ISFULLSCREENMODE", options.Fullscreen ? 1 : 0);
    SetGameRegistryDword(L"Bgm_Volume", static_cast<std::uint32_t>(options.MusicVolume));
    SetGameRegistryDword(L"Effect_Volume", static_cast<std::uint32_t>(options.EffectVolume));
    return true;
}

bool LoadDefaultOptionsText(std::string& text) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_DEFAULT_OPTIONS), RT_RCDATA);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded) return false;
    const DWORD size = SizeofResource(nullptr, found);
    const void* bytes = LockResource(loaded);
    if (!bytes || size == 0) return false;
    text.assign(static_cast<const char*>(bytes), size);
    return true;
}

void SetGameRegistryDword(const wchar_t* name, std::uint32_t value) {
    for (const wchar_t* keyPath : {kGameRegistryKey, kGameSetupRegistryKey}) {
        RegistryKey key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                            &key.handle, nullptr) != ERROR_SUCCESS) {
            continue;
        }
        const DWORD data = value;
        RegSetValueExW(key.handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    }
}
