#include "support/service_control.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include <gtest/gtest.h>

#include "net/service_interface.h"
#include "net/text_conversion.h"
#include "net/winhttp_session.h"

std::wstring ServiceTestUrl(const std::string& path) { return std::wstring(kServiceOrigin) + Utf8ToWide(path); }

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

bool SendServiceControl(const wchar_t* verb, const std::string& command, const std::string& body,
                        std::string& reply) {
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

bool ServiceControl(const std::string& command, const std::string& body, std::string* reply, const wchar_t* verb) {
    std::string ignored;
    return SendServiceControl(verb, command, body, reply ? *reply : ignored);
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

namespace {

bool Control(const wchar_t* verb, const std::string& command, const std::string& body = std::string()) {
    return ServiceControl(command, body, nullptr, verb);
}

}  // namespace

bool AddServiceScenario(const ServiceScenario& scenario) {
    std::string query = "scenario?path=" + EncodeQueryValue(scenario.path);
    if (scenario.status > 0) query += "&status=" + std::to_string(scenario.status);
    if (scenario.replaceBody) query += "&use_body=1";
    if (scenario.bodySize >= 0) query += "&body_size=" + std::to_string(scenario.bodySize);
    if (scenario.cutAfter >= 0) query += "&cut_after=" + std::to_string(scenario.cutAfter);
    if (scenario.ignoreRange) query += "&ignore_range=1";
    if (scenario.drop) query += "&drop=1";
    if (scenario.delayMs > 0) query += "&delay_ms=" + std::to_string(scenario.delayMs);
    if (scenario.bytesPerSecond > 0) query += "&rate=" + std::to_string(scenario.bytesPerSecond);
    if (scenario.times > 0) query += "&times=" + std::to_string(scenario.times);
    for (const std::string& header : scenario.headers) query += "&header=" + EncodeQueryValue(header);
    return Control(L"POST", query, scenario.replaceBody ? scenario.body : std::string());
}

namespace {

ServiceScenario ScenarioFor(const std::string& path, int times) {
    ServiceScenario scenario;
    scenario.path = path;
    scenario.times = times;
    return scenario;
}

}  // namespace

bool AddServiceStatus(const std::string& path, int status, int times) {
    ServiceScenario scenario = ScenarioFor(path, times);
    scenario.status = status;
    return AddServiceScenario(scenario);
}

bool AddServiceReply(const std::string& path, int status, const std::string& body, int times) {
    ServiceScenario scenario = ScenarioFor(path, times);
    scenario.status = status;
    scenario.replaceBody = true;
    scenario.body = body;
    return AddServiceScenario(scenario);
}

bool AddServiceDrop(const std::string& path, int times) {
    ServiceScenario scenario = ScenarioFor(path, times);
    scenario.drop = true;
    return AddServiceScenario(scenario);
}

bool AddServiceSlowdown(const std::string& path, long long bytesPerSecond, int times) {
    ServiceScenario scenario = ScenarioFor(path, times);
    scenario.bytesPerSecond = bytesPerSecond;
    return AddServiceScenario(scenario);
}

bool ResetService() { return Control(L"POST", "reset"); }


namespace {

bool SameHeaderName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& header : headers)
        if (SameHeaderName(header.first, name)) return header.second;
    return std::string();
}

bool RecordedRequest::HasHeader(const std::string& name) const {
    for (const auto& header : headers)
        if (SameHeaderName(header.first, name)) return true;
    return false;
}

bool ReadServiceRequests(std::vector<RecordedRequest>& requests) {
    // The record: a count line, then per request "METHOD TARGET HEADERS BODY-LENGTH",
    // that many "Name: value" lines, and the body followed by a line end.
    std::string record;
    if (!SendServiceControl(L"GET", "requests", std::string(), record)) return false;
    std::size_t at = 0;
    auto line = [&](std::string& text) {
        const std::size_t end = record.find('\n', at);
        if (end == std::string::npos) return false;
        text = record.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string text;
    if (!line(text)) return false;
    const long count = std::strtol(text.c_str(), nullptr, 10);
    requests.clear();
    for (long i = 0; i < count; ++i) {
        if (!line(text)) return false;
        RecordedRequest request;
        const std::size_t first = text.find(' ');
        const std::size_t second = text.find(' ', first + 1);
        const std::size_t third = text.find(' ', second + 1);
        if (third == std::string::npos) return false;
        request.method = text.substr(0, first);
        request.target = text.substr(first + 1, second - first - 1);
        const long headerCount = std::strtol(text.c_str() + second + 1, nullptr, 10);
        const std::size_t bodyLength = std::strtoul(text.c_str() + third + 1, nullptr, 10);
        for (long h = 0; h < headerCount; ++h) {
            if (!line(text)) return false;
            const std::size_t colon = text.find(": ");
            if (colon == std::string::npos) return false;
            request.headers.emplace_back(text.substr(0, colon), text.substr(colon + 2));
        }
        if (at + bodyLength + 1 > record.size()) return false;
        request.body = record.substr(at, bodyLength);
        at += bodyLength + 1;
        requests.push_back(std::move(request));
    }
    return true;
}

bool ClearServiceRequests() { return Control(L"POST", "requests/clear"); }

std::vector<RecordedRequest> ServiceRequestsTo(const std::string& path) {
    std::vector<RecordedRequest> all, matching;
    ReadServiceRequests(all);
    for (const RecordedRequest& request : all) {
        if (request.target.substr(0, request.target.find('?')) == path) matching.push_back(request);
    }
    return matching;
}

bool AcceptServiceDeviceToken(const std::string& token) {
    return Control(L"POST", "signin/device-token?token=" + EncodeQueryValue(token));
}

bool SetServiceUserName(const std::string& name) { return Control(L"POST", "signin/username", name); }

bool SetServicePendingReplies(int count) {
    return Control(L"POST", "signin/pending?count=" + std::to_string(count));
}

bool UseServiceCertificate(const std::string& name) {
    return Control(L"POST", "tls?certificate=" + EncodeQueryValue(name));
}
