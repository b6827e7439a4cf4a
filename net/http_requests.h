#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Small synchronous requests to the service. Each call opens and closes its own
// WinHTTP handles; nothing is shared between calls, so any thread may call them.

// WinHttpCrackUrl's scheme number for https.
constexpr int kUrlSchemeHttps = 2;

struct ServiceUrlParts {
    int scheme = 0;  // the number WinHttpCrackUrl reports
    std::wstring host;
    std::uint16_t port = 0;  // the URL's own port, or its scheme's default
    std::wstring path;       // the path followed by any query string; a fragment is dropped
};

// Splits url into its parts. The host must fit kUrlHostCapacity wide characters, and
// the path and the query string pathCapacity each. On false, parts is untouched.
bool SplitServiceUrl(const std::wstring& url, ServiceUrlParts& parts, std::size_t pathCapacity);

// GETs a small document that must come back with status 200 and at most
// kManifestBodyLimit bytes. On false, message holds one fixed sentence for the
// player and body may hold part of a reply, which must not be used.
bool HttpGetToMemory(const std::wstring& url, std::string& body, std::wstring& message);

// POSTs a JSON body as it is and reads a reply of at most kPostReplyLimit bytes.
// True when the exchange completed, whatever the status: the caller judges status and
// reply. status is written only when the status line could be read, so preset it.
bool HttpPostJson(const std::wstring& url, const std::string& requestBody, std::uint32_t& status,
                  std::string& reply);
