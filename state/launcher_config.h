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
// Writes keep any Unicode text: a new "launcher.ini" is begun as UTF-16LE with a
// byte-order mark, and an older file in the ANSI code page is first rewritten that way
// with the same values.
bool WriteInstallPath(const std::wstring& folder);
// AccountName (at most 127 characters come back), or empty.
std::wstring ReadAccountName();
bool WriteAccountName(const std::wstring& name);

// The real folder that the text in the folder box names: a full path (GetFullPathNameW)
// with "." and ".." resolved, "/" as "\", no separator at the end, and no folder name
// ending in spaces or dots (Windows drops those, so the text and the folder would
// differ). False, with a sentence for the player in message, when the text is not a
// full path from a drive or a network share (it would depend on the current folder), or
// when a folder name holds nothing but spaces and dots; folder is then untouched.
bool MakeInstallFolder(const std::wstring& text, std::wstring& folder, std::wstring& message);

// True when the folder holds the client executable as a regular file and the first
// line of its version marker equals the manifest's client_version exactly.
bool IsClientCurrent(const std::wstring& folder, const UpdateManifest& manifest);
