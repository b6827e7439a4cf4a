#pragma once
#include <cstdint>
#include <string>

// The seven game options the launcher edits in the client's "OptionInfo.lua". The
// defaults are the values that a missing file or a missing key gives.
struct GameOptions {
    int Width = 1920;
    int Height = 1080;
    bool Fullscreen = false;
    bool MusicOn = true;
    bool SoundOn = true;
    int MusicVolume = 17;   // 0 to 127 when saved from the form
    int EffectVolume = 17;  // 0 to 127 when saved from the form
};

// The stored install folder (or the given one) joined with "savedata" and "OptionInfo.lua".
std::wstring GameOptionsPath();
std::wstring GameOptionsPathIn(const std::wstring& installFolder);

// Never fails: an unreadable or missing file reads as empty, and every key that is
// missing (or holds a number too large for 32 bits) takes its default.
GameOptions LoadGameOptions();
GameOptions LoadGameOptionsFrom(const std::wstring& path);

// Rewrites the options file with the seven values (starting from the built-in default
// text when the file is missing or empty), keeping every other byte; the new text goes
// through a file beside it that replaces it in one step. On false the options file has
// not changed: the text lacked one of the nine lines, the default text was unusable, the
// existing file could not be read or is read-only, the folder could not be created, or
// the write failed. On true a ".launcher-backup" copy left by an earlier launcher is
// removed and the five registry values are mirrored (their failures are ignored). No message.
bool SaveGameOptions(const GameOptions& options);
bool SaveGameOptionsTo(const std::wstring& path, const GameOptions& options);

// The built-in default options text (RCDATA 101 of the running executable); false
// when the resource is missing or empty.
bool LoadDefaultOptionsText(std::string& text);

// Writes the value as REG_DWORD under both of the game's keys in HKEY_CURRENT_USER;
// a key that cannot be opened is skipped silently.
void SetGameRegistryDword(const wchar_t* name, std::uint32_t value);
