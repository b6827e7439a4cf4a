#include "net/winhttp_session.h"

HINTERNET OpenServiceSession(const wchar_t* userAgent, const HttpTimeouts& timeouts) {
    HINTERNET session = WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session)
        WinHttpSetTimeouts(session, timeouts.resolve, timeouts.connect, timeouts.send, timeouts.receive);
    return session;
}

HINTERNET OpenServiceRequest(HINTERNET session, const ServiceUrlParts& parts, const wchar_t* verb,
                             InternetHandle& connection) {
    connection.handle = WinHttpConnect(session, parts.host.c_str(), parts.port, 0);
    if (!connection) return nullptr;
    // A plain http URL goes without TLS: the scheme the URL names is the one used.
    const DWORD flags = parts.scheme == kUrlSchemeHttps ? WINHTTP_FLAG_SECURE : 0;
    return WinHttpOpenRequest(connection.handle, verb, parts.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
}

bool ReadStatusCode(HINTERNET request, DWORD& status) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &value, &size, WINHTTP_NO_HEADER_INDEX))
        return false;
    status = value;
    return true;
}
