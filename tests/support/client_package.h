#pragma once
#include <string>
#include <vector>

// Client packages for install tests: small zip archives built in the test, served by the
// stand-in service in place of its demo package, with a manifest that names them.

constexpr const char* kServedPackagePath = "/download/sarnhold/client.zip";
constexpr const char* kServedManifestPath = "/download/sarnhold/manifest.json";

struct ZipEntry {
    std::string name;  // a name ending in "/" is a folder
    std::string bytes;
    bool wrongChecksum = false;  // a damaged entry: an unpacker must refuse it
};

// A zip archive of stored (uncompressed) entries, in the given order; with zip64, its
// end goes through the zip64 end record, as a package past 4 GiB must.
std::string MakeStoredZip(const std::vector<ZipEntry>& entries, bool zip64 = false);

// Serves bytes as the client package, and a manifest naming their size and SHA-256
// (lower-case) and this client version, with the launcher's own version.
bool ServeClientPackage(const std::string& bytes, const std::string& version);

// The client version of the manifest the service serves now; empty when unreadable.
std::string ServedClientVersion();

// Text of the package's own settings files, told apart from a player's by their first line.
constexpr const char* kPackageFontMark = "; Font settings shipped in the Hollowmere demo package";
// The package's own settings files as the test packages carry them.
inline const std::string kPackageFont = std::string(kPackageFontMark) + "\r\n[Font]\r\n";
inline const std::string kPackageOptions = "-- Options shipped in the Hollowmere demo package\r\n";
// The stand-in client and the package's own settings files beside a filler of this many
// bytes, so that downloading and unpacking take a moment.
std::string PackageWithFiller(size_t fillerBytes);

// A player's own settings files, which installs and repairs must keep byte for byte.
inline const std::string kPlayerFont = "; the player's own font settings\r\n[Font]\r\nEnabled=1\r\nScalePercent=135\r\n";
inline const std::string kPlayerOptions = "-- the player's own options\r\nOptionInfoList = {\r\n\t[\"WIDTH\"] = 2560,\r\n}\r\n";
std::wstring FontFileIn(const std::wstring& folder);
std::wstring OptionsFileIn(const std::wstring& folder);
void PutPlayerFiles(const std::wstring& folder);
void ExpectPlayerFiles(const std::wstring& folder);
void ExpectNoHoldingCopies();

// The command lines the PowerShell stand-in has received (one per line, UTF-8), and
// a fresh start for that record.
std::string ReadPowerShellCalls();
void ClearPowerShellCalls();

// UTF-8 of wide text.
std::string ToUtf8(const std::wstring& text);
