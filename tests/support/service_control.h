#pragma once
#include <string>
#include <utility>
#include <vector>

// A client for the stand-in service's control interface (its "/_control/" paths), on
// the origin the launcher under test was built for. Tests use it to make the service
// misbehave on demand and to see what the launcher sent. Every function returns false
// when the service cannot be reached or refuses the request. Control requests are
// not recorded, and over HTTPS they accept any certificate the service shows.

// The service origin followed by path, e.g. ServiceTestUrl("/download/sarnhold/manifest.json").
std::wstring ServiceTestUrl(const std::string& path);

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

// Older calls, replaced by the ones above; they go once no test uses them.

// The service origin followed by path, e.g. ServiceTestUrl("/download/sarnhold/manifest.json").

// How the service answers requests for one exact path (without query string) instead
// of the usual way. Fields left at their defaults change nothing.
struct ServiceScenario {
    std::string path;
    int status = 0;               // > 0: this status code
    bool replaceBody = false;     // true: body below instead of the usual reply
    std::string body;
    long long bodySize = -1;      // >= 0: this many filler bytes instead of the usual reply
    long long cutAfter = -1;      // >= 0: end the connection after this many body bytes
    bool ignoreRange = false;     // answer a range request with 200 and the whole file
    bool drop = false;            // end the connection without any answer
    int delayMs = 0;              // wait this long before answering
    long long bytesPerSecond = 0; // > 0: send the body this slowly
    int times = 0;                // > 0: only the next this many requests; 0: all of them
    std::vector<std::string> headers;  // extra "Name: value" reply headers
};

// Adds a scenario. For one path, the scenario added first applies until it is used up.
bool AddServiceScenario(const ServiceScenario& scenario);
// The two usual scenarios: this status with the usual body, or this status with this body.
bool AddServiceStatus(const std::string& path, int status, int times = 0);
bool AddServiceReply(const std::string& path, int status, const std::string& body, int times = 0);
// Ends the connection without any answer.
bool AddServiceDrop(const std::string& path, int times = 0);
// Sends the body at most this fast.
bool AddServiceSlowdown(const std::string& path, long long bytesPerSecond, int times = 0);

// Back to the start: the demo manifest and files, no scenarios, no rate limit, an
// empty request record and no sign-in state.

// Serves bytes at path (with byte ranges) from now on, replacing what was there; the
// manifest is replaced this way too.
// What the service currently serves at path.


struct RecordedRequest {
    std::string method;
    std::string target;  // path with its query string, as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The first header of that name (letter case ignored), or empty.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// The requests received since the last reset or clear, oldest first.
bool ReadServiceRequests(std::vector<RecordedRequest>& requests);
bool ClearServiceRequests();
// The recorded requests whose path (query string left out) is path.
std::vector<RecordedRequest> ServiceRequestsTo(const std::string& path);

// Sign-in: accept this device token once; the user name that sign-ins return.
bool AcceptServiceDeviceToken(const std::string& token);
bool SetServiceUserName(const std::string& name);

// Any control request: verb on "/_control/" + command (with its query), body sent as
// it is. True when the service answered 200; reply holds the answer's body.
bool SendServiceControl(const wchar_t* verb, const std::string& command, const std::string& body,
                        std::string& reply);

// Percent-encodes text for a query string value.
std::string EncodeQueryValue(const std::string& text);

// Every browser sign-in answers its first count redeems with 202, approved or not.
bool SetServicePendingReplies(int count);

// HTTPS stand-in only: new connections get the named certificate ("good", "expired",
// "other-host" or "unknown-authority") until the next call or reset.
bool UseServiceCertificate(const std::string& name);
