#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "net/file_pieces.h"
#include "net/progress.h"

struct UpdateManifest;

// Installs or repairs the client in folder (a full path, as MakeInstallFolder gives it),
// on the calling thread: creates the folder, downloads the package into the data
// folder's "client.zip", sets the player's "SarnFont.ini" and "savedata\OptionInfo.lua"
// aside, removes the version marker, unpacks the package over the folder with
// PowerShell's Expand-Archive, puts the player's files back (also when the unpacking
// failed), writes the version marker after a successful unpacking and stores the folder
// as InstallPath.
//
// Reports, in order: "Downloading" (rising), "Verifying download" 100, "Installing
// files" -1, "Ready" 100. On false, message holds the reason for the player. A file that
// could not go back stays in its holding copy in the data folder (the message names it)
// and the next install or repair of the same folder puts it back; the client is then
// installed and its marker written all the same. On true, message is untouched.
//
// With control, another thread may stop the install while it downloads (StopInstall
// Download); the download then keeps its bytes for the next install, nothing else has
// changed, and the result is false with kDownloadStoppedMessage. Once the download is
// done the install moves its phase to Unpacking, after which it can no longer be stopped.
enum InstallPhase : int { kInstallDownloading, kInstallUnpacking, kInstallStopped };
struct InstallControl {
    std::atomic<bool> stop{false};
    std::atomic<int> phase{kInstallDownloading};
    // The bytes the "Downloading" percentages count when the package is written from a
    // kept older one (only what travels); 0 while they count the whole package.
    std::atomic<std::uint64_t> fetchTotal{0};
};
bool InstallClient(const std::wstring& folder, const UpdateManifest& manifest, std::wstring& message,
                   const ProgressCallback& progress, InstallControl* control = nullptr);

// A plan to write this release into package's partial file from the package kept there
// (another release): only when the kept package reads as a zip, the server answers
// ranges for the new one's end and directory, and something can be reused.
bool PlanFromKeptPackage(const std::wstring& package, const UpdateManifest& manifest, ReusePlan& plan);

// What an install of this release would download, for the question asked before it:
// nothing when the kept package has the release's size (the install still checks its
// digest), what a kept older package does not give, or what an interrupted download has
// not fetched yet. May fetch the new package's end and directory (a few range requests).
struct DownloadEstimate {
    std::uint64_t fetch = 0;       // bytes to travel
    std::uint64_t onComputer = 0;  // bytes already here
};
DownloadEstimate EstimateClientDownload(const UpdateManifest& manifest);

// Stops an install that is still downloading; false once it has begun unpacking (or
// has already been stopped).
bool StopInstallDownload(InstallControl& control);

// The holding copies of the player's files in the data folder.
std::wstring FontSettingsHoldingPath();
std::wstring GameOptionsHoldingPath();
// The small file beside a holding copy that names the install folder it came from. A
// copy of another folder never goes into this one: it goes back to its own folder when
// that still exists, and otherwise stays where it is.
std::wstring HoldingRecordPath(const std::wstring& holding);
