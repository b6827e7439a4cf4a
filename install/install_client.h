#pragma once
#include <string>

#include "net/progress.h"

struct UpdateManifest;

// Installs or repairs the client in folder, on the calling thread: creates the folder,
// downloads the package into the data folder's "client.zip", sets the player's
// "SarnFont.ini" and "savedata\OptionInfo.lua" aside, unpacks the package over the
// folder with PowerShell's Expand-Archive, puts the player's files back, writes the
// version marker and stores the folder as InstallPath.
//
// Reports, in order: "Downloading" (rising), "Verifying download" 100, "Installing
// files" -1, "Ready" 100. On false, message holds one fixed sentence for the player;
// when the unpacking failed, the player's files stay in their holding copies in the data
// folder and the next install or repair puts them back. On true, message is untouched.
bool InstallClient(const std::wstring& folder, const UpdateManifest& manifest, std::wstring& message,
                   const ProgressCallback& progress);

// The holding copies of the player's files in the data folder.
std::wstring FontSettingsHoldingPath();
std::wstring GameOptionsHoldingPath();
