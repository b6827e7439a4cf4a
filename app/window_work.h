#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "install/install_client.h"
#include "play/sign_in.h"
#include "state/kernel_handle.h"
#include "update/self_update.h"
#include "update/update_manifest.h"

// The main window's workers: the update check, the launcher's own download, the wait for
// a browser sign-in and the install. Each runs on a thread of its own, shares nothing
// with the window's thread but its WorkControl, and reports through posted records
// carrying its job number; the window drops the records of a job it has left.

// How the window stops its running worker.
struct WorkControl {
    std::atomic<bool> stop{false};  // the launcher's download
    KernelHandle stopEvent;         // the sign-in wait (manual reset)
    InstallControl install;         // the install, while it downloads
};

struct ManifestChecked {
    unsigned job = 0;
    bool loaded = false;
    UpdateManifest manifest;
    std::wstring message;  // why it did not load
    DownloadEstimate estimate;  // with the check before an install
};
struct LauncherProgress {
    unsigned job = 0;
    int percent = 0;
};
struct LauncherDownloaded {
    unsigned job = 0;
    bool success = false;
    std::wstring message;  // why it failed; kDownloadStoppedMessage when it was stopped
    std::wstring file;
};
struct SignInAnswered {
    unsigned job = 0;
    ApprovalAnswer answer;
};

// The launcher's own download gives up on a line that moves less than this in any span:
// at 2,000 bytes/s a 3 MB launcher would hold the player for 25 minutes. What arrived
// stays, and the next start resumes it.
constexpr std::uint64_t kLauncherMinimumBytesPerSpan = 64 * 1024;
constexpr std::uint64_t kLauncherRateSpanMs = 30000;

// Each returns false when its thread could not be started (nothing then arrives).
// With estimate, a loaded manifest is followed by what its install would download.
bool StartManifestCheck(HWND window, unsigned job, bool estimate);
bool StartLauncherDownload(HWND window, unsigned job, const LauncherDownload& download,
                           const std::shared_ptr<WorkControl>& control);
bool StartSignInWait(HWND window, unsigned job, const PendingApproval& pending,
                     const std::shared_ptr<WorkControl>& control);
bool StartInstallWorker(HWND window, const std::wstring& folder, const UpdateManifest& manifest,
                        const std::shared_ptr<WorkControl>& control);
