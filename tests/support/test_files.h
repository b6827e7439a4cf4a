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
