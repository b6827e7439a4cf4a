#pragma once
#include <string>
#include <vector>

// A client for the stand-in service's control interface (its "/_control/" paths), on
// the origin the launcher under test was built for. Tests use it to make the service
// misbehave on demand and to see what the launcher sent. Every function returns false
// when the service cannot be reached or refuses the request. Control requests are
// not recorded, and over HTTPS they accept any certificate the service shows.

// The service origin followed by path, e.g. ServiceTestUrl("/download/sarnhold/manifest.json").
std::wstring ServiceTestUrl(const std::string& path);

// Percent-encodes text for a query string value.
std::string EncodeQueryValue(const std::string& text);

// The one call behind all others: verb on "/_control/" + command (its query included),
// with body. True when the service answered 200; reply (when given) gets its body.
bool ServiceControl(const std::string& command, const std::string& body = std::string(),
                    std::string* reply = nullptr, const wchar_t* verb = L"POST");

// Back to the start: the demo manifest and files, no scenarios, no rate limit, an
// empty request record and no sign-in state.
bool ResetService();

// Answers the next requests to path (its query left out) otherwise; how is a query of
// the service's scenario fields, for example "status=500&times=1", "cut_after=5",
// "ignore_range=1", "drop=1", "rate=4096", "delay_ms=50", "body_size=300" or
// "header=Retry-After:%201". With a body, replies carry body instead of the usual one.
// For one path, the scenario added first applies until it is used up (times).
bool AddScenario(const std::string& path, const std::string& how, const char* body = nullptr);

// Serves bytes at path (with byte ranges) from now on; sha256 (when given) gets their
// lower-case SHA-256 as the service computed it.
bool ServeServiceFile(const std::string& path, const std::string& bytes, std::string* sha256 = nullptr);
bool ReadServiceFile(const std::string& path, std::string& bytes);

// What the service saw of each request to path since the last reset, oldest first: its
// "method", "target" (path and query), "body", or the value of a header ("(none)" when
// the request had none). Its size is the number of requests.
std::vector<std::string> SeenByService(const std::string& path, const std::string& what = "target");
