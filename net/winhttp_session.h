#pragma once
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "net/http_requests.h"
#include "net/service_interface.h"

// Owns one WinHTTP handle (session, connection or request) and closes it when the
// scope ends. Declare session, connection and request in that order so they close
// in the reverse one.
struct InternetHandle {
    HINTERNET handle = nullptr;
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET opened) : handle(opened) {}
    ~InternetHandle() {
        if (handle) WinHttpCloseHandle(handle);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    explicit operator bool() const { return handle != nullptr; }
};

// A synchronous session with the system's automatic proxy and the given time-outs;
// null when WinHTTP cannot be opened.
HINTERNET OpenServiceSession(const wchar_t* userAgent, const HttpTimeouts& timeouts);

// Connects to the URL's host and port and opens a request for its path, over TLS
// exactly when the URL is https. Null when either step fails; connection then holds
// whatever was opened, so the caller's holders close it.
HINTERNET OpenServiceRequest(HINTERNET session, const ServiceUrlParts& parts, const wchar_t* verb,
                             InternetHandle& connection);

// The response's status code; false when it cannot be read.
bool ReadStatusCode(HINTERNET request, DWORD& status);
