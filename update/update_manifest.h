#pragma once
#include <cstdint>
#include <string>

// The service's description of the current client and launcher, as last fetched.
struct UpdateManifest {
    std::wstring client_version;
    std::wstring client_url;
    std::uint64_t client_size = 0;  // bytes; 0 means unknown
    std::wstring client_sha256;
    std::wstring launcher_version;
    std::wstring launcher_url;
    std::wstring launcher_sha256;
};

// The launcher's own version, "2.0.4" (defined in app/launcher_version.cpp, which each
// executable links for itself).
extern const wchar_t kLauncherVersion[];

// Fetches and reads the manifest from the service. On false, message holds the reason
// and manifest is exactly as it was.
bool FetchUpdateManifest(UpdateManifest& manifest, std::wstring& message);

// Takes a manifest fetched by a worker into the process-wide record, or (loaded false)
// marks the record as not loaded. UI thread only.
void AcceptManifest(const UpdateManifest& manifest, bool loaded);

// The process-wide record and its flag (UI thread only).
const UpdateManifest& CurrentManifest();
bool IsManifestLoaded();

// True when version (major.minor.patch) is greater than the launcher's own.
bool LauncherUpdateAvailable(const std::wstring& version);
