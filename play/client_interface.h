#pragma once
// What the launcher fixes about the game client it installs, starts and configures.

// Directly in the install folder.
constexpr const wchar_t* kClientExecutableName = L"Sarnhold-Elderline.exe";
constexpr const wchar_t* kClientVersionMarkerName = L".hollowmere-version";
constexpr const wchar_t* kFontSettingsFileName = L"SarnFont.ini";

// The game's own options file: install folder, then this folder, then this file.
constexpr const wchar_t* kGameOptionsFolderName = L"savedata";
constexpr const wchar_t* kGameOptionsFileName = L"OptionInfo.lua";
constexpr const wchar_t* kGameOptionsBackupSuffix = L".launcher-backup";

// The game reads these REG_DWORD values under HKEY_CURRENT_USER.
constexpr const wchar_t* kGameRegistryKey = L"Software\\Corvell Soft\\Sarnhold";
constexpr const wchar_t* kGameSetupRegistryKey = L"Software\\Corvell Soft\\ElderSetup";

// Command line: kClientTicketPrefix + ticket + " " + user name + kClientLoginModeSuffix.
constexpr const wchar_t* kClientTicketPrefix = L"-t:";
constexpr const wchar_t* kClientLoginModeSuffix = L" -1sar1";
