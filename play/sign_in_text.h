#pragma once
#include <string>

// Pure text pieces of the sign-in: request bodies, the verifier's encoding, the check
// of the page address the service asks us to open, and the client's command line.

// Compact JSON bodies of the three sign-in requests. Values are escaped (double quote,
// backslash and control characters), so a token or handle that holds one of them can
// neither break the body nor add members; other bytes, UTF-8 included, go out as they are.
std::string BuildDeviceTicketBody(const std::string& deviceToken);
std::string BuildStartBody(const std::string& verifier);
std::string BuildRedeemBody(const std::string& handle, const std::string& verifier);

// Appends value as the inside of a JSON string (without the surrounding quotes).
void AppendJsonStringContent(std::string& out, const std::string& value);

// base64url (RFC 4648 section 5) without padding: 32 bytes give 43 characters.
std::string EncodeBase64Url(const unsigned char* bytes, size_t count);

// True only for an address the browser should open: "https://" or "http://" at the
// start, ignoring letter case. Anything else (a local program, a file, another scheme)
// would make the shell run or open something on the player's machine.
bool IsBrowserUrl(const std::wstring& url);

// "-t:" + ticket + " " + user name + " -1sar1", nothing quoted.
std::wstring BuildClientArguments(const std::wstring& ticket, const std::wstring& userName);
