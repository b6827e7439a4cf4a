// Stands in for the player's web browser in the test Wine prefix, where it is the
// handler of http and https links. Given a page address, it fetches the page with a
// plain GET, as a player who opens the sign-in page and signs in would, and ends.
// Exit code 0 when the page answered with a status below 400, 1 otherwise.
#include <windows.h>
#include <shellapi.h>
#include <winhttp.h>

#include <string>

namespace {

struct InternetHandle {
    HINTERNET handle = nullptr;
    explicit InternetHandle(HINTERNET opened) : handle(opened) {}
    ~InternetHandle() {
        if (handle) WinHttpCloseHandle(handle);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

bool OpenPage(const std::wstring& url) {
    wchar_t host[256] = {};
    wchar_t path[4096] = {};
    wchar_t query[4096] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4096;
    parts.lpszExtraInfo = query;
    parts.dwExtraInfoLength = 4096;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
    const std::wstring target = std::wstring(path) + query;

    InternetHandle session(WinHttpOpen(L"Hollowmere-Test-Browser/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.handle) return false;
    InternetHandle connection(WinHttpConnect(session.handle, host, parts.nPort, 0));
    if (!connection.handle) return false;
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    InternetHandle request(WinHttpOpenRequest(connection.handle, L"GET", target.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request.handle) return false;
    if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.handle, nullptr)) {
        return false;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return false;
    }
    // Read the page to its end, as a browser showing it would.
    char buffer[4096];
    DWORD read = 0;
    while (WinHttpReadData(request.handle, buffer, sizeof(buffer), &read) && read > 0) {
    }
    return status < 400;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return 1;
    // The last argument is the page; a registration may put options before it.
    const std::wstring url = count >= 2 ? arguments[count - 1] : L"";
    LocalFree(arguments);
    return !url.empty() && OpenPage(url) ? 0 : 1;
}
