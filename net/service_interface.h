#pragma once
#include <cstddef>
#include <string>

// What the launcher sends to the Hollowmere service and what it relies on in the
// answers, gathered in one place. The origin is fixed at build time: the local build
// points at the stand-in service on loopback, the release build at the real one.

// Scheme, host and optional port, without a trailing slash; every path is appended.
// Defined in net/service_origin.cpp, which each executable links for itself.
extern const wchar_t kServiceOrigin[];

constexpr const wchar_t* kManifestPath = L"/download/sarnhold/manifest.json";
constexpr const wchar_t* kDeviceTicketPath = L"/api/launcher/device-ticket";
constexpr const wchar_t* kSignInStartPath = L"/api/launcher/start";
constexpr const wchar_t* kSignInRedeemPath = L"/api/launcher/redeem";

// GET requests and downloads, and POST requests, announce themselves differently.
constexpr const wchar_t* kGetUserAgent = L"Hollowmere-Sarnhold-Launcher/2.0";
constexpr const wchar_t* kPostUserAgent = L"Hollowmere-Sarnhold-Launcher/1.0";

// Every POST body is JSON and asks for JSON back.
constexpr const wchar_t* kJsonRequestHeaders = L"Content-Type: application/json\r\nAccept: application/json";

// WinHTTP time-outs in milliseconds, in the order WinHttpSetTimeouts takes them.
struct HttpTimeouts {
    int resolve;
    int connect;
    int send;
    int receive;
};
constexpr HttpTimeouts kGetTimeouts = {5000, 5000, 15000, 15000};
constexpr HttpTimeouts kPostTimeouts = {5000, 5000, 10000, 10000};
constexpr HttpTimeouts kDownloadTimeouts = {10000, 10000, 30000, 30000};

// Largest bodies accepted; a body of exactly this size is still accepted.
constexpr std::size_t kManifestBodyLimit = 262144;
constexpr std::size_t kPostReplyLimit = 65536;

// Buffers, in wide characters, that a URL's host and path must fit.
constexpr std::size_t kUrlHostCapacity = 256;
constexpr std::size_t kGetUrlPathCapacity = 2048;  // GET requests and downloads
constexpr std::size_t kPostUrlPathCapacity = 1024;

// The service origin followed by path.
inline std::wstring ServiceUrl(const wchar_t* path) { return std::wstring(kServiceOrigin) + path; }
