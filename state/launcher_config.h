#pragma once
#include <string>

struct UpdateManifest;

// The launcher's per-user state: its data folder and "launcher.ini". Nothing here
// shows a message: failures become empty paths, defaults or false.

constexpr const wchar_t* kDefaultInstallFolder = L"C:\\Games\\Hollowmere\\Sarnhold";

// Local application data + "Hollowmere\Sarnhold", created on demand; empty when the
// system names no such folder. Recomputed on every call, so a deleted folder comes back.
std::wstring LauncherDataFolder();
// The data folder joined with "launcher.ini"; empty when the data folder is empty.
std::wstring LauncherIniPath();

// InstallPath, or the default install folder when the file or key is missing.
std::wstring ReadInstallPath();
bool WriteInstallPath(const std::wstring& folder);
// AccountName (at most 127 characters come back), or empty.
std::wstring ReadAccountName();
bool WriteAccountName(const std::wstring& name);

// True when the folder holds the client executable as a regular file and the first
// line of its version marker equals the manifest's client_version exactly.
bool IsClientCurrent(const std::wstring& folder, const UpdateManifest& manifest);
