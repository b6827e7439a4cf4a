#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "net/service_interface.h"

// GET requests made the way the launcher makes them: its user agent and time-outs, HTTP
// 1.1, an optional "Range: bytes=N-" (or "bytes=N-M") header, redirects followed as
// WinHTTP follows them (never from https to http), and the server's certificate checked.

struct FetchOptions {
    std::string caFile;  // trusted authorities instead of the system's; empty: the system's
    HttpTimeouts timeouts = kDownloadTimeouts;
    long long rangeFrom = -1;  // below 0: no Range header
    long long rangeTo = -1;    // with rangeFrom, the last byte asked for; below 0: to the end
};

struct FetchReply {
    long status = 0;                // 0 when no answer came
    std::string error;              // why the exchange failed, when it did
    bool tlsRefused = false;        // the failure was the TLS handshake or the certificate
    long long announcedLength = -1; // the body's Content-Length, when the server sent one
    std::string certificate;        // the server certificate's subject, issuer and end date
};

// Receives each piece of the body; returning false ends the transfer early, which is
// then not a failure.
using BodySink = std::function<bool(const char* data, std::size_t size)>;

// True when the exchange completed (whatever the status) or the sink ended it.
bool FetchUrl(const std::string& url, const FetchOptions& options, const BodySink& sink, FetchReply& reply);
