#include "net/http_requests.h"

#include <algorithm>
#include <vector>

#include "net/service_interface.h"
#include "net/winhttp_session.h"

namespace {

constexpr const wchar_t* kInvalidUrlMessage = L"The update URL is invalid.";
constexpr const wchar_t* kNoNetworkMessage = L"Windows could not initialize the network service.";
constexpr const wchar_t* kManifestDownloadMessage = L"Could not download the Hollowmere update manifest.";

// Appends what the request has left to body, failing once body would exceed limit.
// checkBeforeRead refuses before reading bytes that would not fit; otherwise the
// bytes are read first and the total is checked after.
bool ReadBody(HINTERNET request, std::string& body, std::size_t limit, bool checkBeforeRead) {
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) return false;
        if (available == 0) return true;
        const std::size_t held = body.size();
        if (checkBeforeRead && held + available > limit) return false;
        body.resize(held + available);
        DWORD read = 0;
        if (!WinHttpReadData(request, &body[held], available, &read)) return false;
        body.resize(held + read);
        if (!checkBeforeRead && body.size() > limit) return false;
    }
}

}  // namespace

bool SplitServiceUrl(const std::wstring& url, ServiceUrlParts& parts, std::size_t pathCapacity) {
    std::vector<wchar_t> host(kUrlHostCapacity, L'\0');
    std::vector<wchar_t> path(pathCapacity, L'\0');
    std::vector<wchar_t> extra(pathCapacity, L'\0');
    URL_COMPONENTS components = {};
    components.dwStructSize = sizeof(components);
    components.lpszHostName = host.data();
    components.dwHostNameLength = static_cast<DWORD>(host.size());
    components.lpszUrlPath = path.data();
    components.dwUrlPathLength = static_cast<DWORD>(path.size());
    // The query string too: a package link signed for a content network carries its
    // signature there, and the request must keep it.
    components.lpszExtraInfo = extra.data();
    components.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &components)) return false;

    std::wstring target(path.data(), components.dwUrlPathLength);
    target.append(extra.data(), components.dwExtraInfoLength);
    // A fragment names a place inside the document and is never sent to a server. Some
    // WinHTTP versions leave it in the path when there is no query, so cut it from both.
    target.erase(std::min(target.find(L'#'), target.size()));
    parts.scheme = static_cast<int>(components.nScheme);
    parts.host.assign(host.data(), components.dwHostNameLength);
    parts.port = components.nPort;
    parts.path = target;
    return true;
}

bool HttpGetToMemory(const std::wstring& url, std::string& body, std::wstring& message) {
    ServiceUrlParts parts;
    if (!SplitServiceUrl(url, parts, kGetUrlPathCapacity)) {
        message = kInvalidUrlMessage;
        return false;
    }
    InternetHandle session(OpenServiceSession(kGetUserAgent, kGetTimeouts));
    if (!session) {
        message = kNoNetworkMessage;
        return false;
    }
    InternetHandle connection;
    InternetHandle request(OpenServiceRequest(session.handle, parts, L"GET", connection));
    DWORD status = 0;
    const bool answered = request &&
                          WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                             WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                          WinHttpReceiveResponse(request.handle, nullptr) &&
                          ReadStatusCode(request.handle, status) && status == 200;
    body.clear();
    if (!answered || !ReadBody(request.handle, body, kManifestBodyLimit, true)) {
        message = kManifestDownloadMessage;
        return false;
    }
    return true;
}

bool HttpPostJson(const std::wstring& url, const std::string& requestBody, std::uint32_t& status,
                  std::string& reply) {
    ServiceUrlParts parts;
    if (!SplitServiceUrl(url, parts, kPostUrlPathCapacity)) return false;
    // WinHTTP takes the body length as a DWORD; no sign-in body comes near that.
    if (requestBody.size() > MAXDWORD) return false;
    InternetHandle session(OpenServiceSession(kPostUserAgent, kPostTimeouts));
    if (!session) return false;
    InternetHandle connection;
    InternetHandle request(OpenServiceRequest(session.handle, parts, L"POST", connection));
    if (!request) return false;

    const DWORD length = static_cast<DWORD>(requestBody.size());
    void* data = length ? const_cast<char*>(requestBody.data()) : WINHTTP_NO_REQUEST_DATA;
    DWORD answeredStatus = 0;
    const bool answered =
        WinHttpSendRequest(request.handle, kJsonRequestHeaders, static_cast<DWORD>(-1), data, length, length,
                           0) &&
        WinHttpReceiveResponse(request.handle, nullptr) && ReadStatusCode(request.handle, answeredStatus);
    if (answered) status = answeredStatus;
    reply.clear();
    return answered && ReadBody(request.handle, reply, kPostReplyLimit, false);
}
