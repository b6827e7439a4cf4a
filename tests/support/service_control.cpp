#include "support/service_control.h"

#include <cctype>

#include <gtest/gtest.h>

#include "net/service_interface.h"
#include "net/text_conversion.h"
#include "net/winhttp_session.h"

std::wstring ServiceTestUrl(const std::string& path) { return std::wstring(kServiceOrigin) + Utf8ToWide(path); }

// Percent-encodes text for a query string value.
std::string EncodeQueryValue(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

bool ServiceControl(const std::string& command, const std::string& body, std::string* replyOut, const wchar_t* verb) {
    std::string ignored;
    std::string& reply = replyOut ? *replyOut : ignored;
    ServiceUrlParts parts;
    if (!SplitServiceUrl(ServiceTestUrl("/_control/" + command), parts, kGetUrlPathCapacity)) return false;
    InternetHandle session(OpenServiceSession(L"Hollowmere-Test-Control", kPostTimeouts));
    if (!session) return false;
    InternetHandle connection;
    InternetHandle request(OpenServiceRequest(session.handle, parts, verb, connection));
    if (!request) return false;
    if (parts.scheme == kUrlSchemeHttps) {
        // The tests' own channel to an HTTPS stand-in must get through while it shows a
        // bad certificate on purpose; the launcher's requests never do this.
        DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        if (!WinHttpSetOption(request.handle, WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof(ignore))) return false;
    }
    const DWORD length = static_cast<DWORD>(body.size());
    DWORD status = 0;
    if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            length ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA, length, length,
                            0) ||
        !WinHttpReceiveResponse(request.handle, nullptr) || !ReadStatusCode(request.handle, status))
        return false;
    reply.clear();
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.handle, &available)) return false;
        if (available == 0) break;
        const std::size_t held = reply.size();
        reply.resize(held + available);
        DWORD read = 0;
        if (!WinHttpReadData(request.handle, &reply[held], available, &read)) return false;
        reply.resize(held + read);
    }
    return status == 200;
}

bool AddScenario(const std::string& path, const std::string& how, const char* body) {
    return ServiceControl("scenario?path=" + EncodeQueryValue(path) + "&" + how + (body ? "&use_body=1" : ""), body ? body : "");
}

bool ServeServiceFile(const std::string& path, const std::string& bytes, std::string* sha256) {
    std::string reply;
    if (!ServiceControl("file?path=" + EncodeQueryValue(path), bytes, &reply)) return false;
    // The reply ends "sha256 <digest>" and a line end.
    if (sha256) *sha256 = reply.substr(reply.rfind(' ') + 1, 64);
    return true;
}

bool ReadServiceFile(const std::string& path, std::string& bytes) {
    return ServiceControl("file?path=" + EncodeQueryValue(path), "", &bytes, L"GET");
}

std::vector<std::string> SeenByService(const std::string& path, const std::string& what) {
    std::string reply;
    std::vector<std::string> lines;
    EXPECT_TRUE(ServiceControl("requests?path=" + EncodeQueryValue(path) + "&show=" + EncodeQueryValue(what), "", &reply, L"GET"))
        << "the service's request record is out of reach";
    // The service escapes line ends and backslashes within a value.
    std::string line;
    for (std::size_t at = 0; at < reply.size(); ++at) {
        if (reply[at] == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (reply[at] == '\\' && at + 1 < reply.size()) {
            line += reply[++at] == 'n' ? '\n' : reply[at];
        } else {
            line += reply[at];
        }
    }
    return lines;
}

bool ResetService() { return ServiceControl("reset"); }
