#pragma once
#include <string>

// A fresh folder under the system temporary folder, deleted with its content at the end.
struct TempFolder {
    std::wstring path;
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::wstring operator/(const std::wstring& name) const;
};

std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);

// Removes the launcher's data folder so a test starts as on a first run.
void ResetLauncherDataFolder();

// A path inside the build folder (Windows form), for screenshots and outputs.
std::wstring BuildPath(const std::wstring& relative);


// text with the first occurrence of from replaced by to; a missing from fails the test.
std::string ReplaceOnce(std::string text, const std::string& from, const std::string& to);
// The game's default options text as the source tree holds it.
std::string DefaultOptionsText();

// The game's own registry keys, removed for a clean start.
void ForgetGameRegistryKeys();
// A DWORD of the current user's key, read back through the registry; -1 when the value
// is missing or not a DWORD.
long long RegistryDword(const wchar_t* key, const wchar_t* name);
