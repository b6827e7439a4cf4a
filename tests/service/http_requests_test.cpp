#include <gtest/gtest.h>

#include "net/http_requests.h"
#include "net/service_interface.h"
#include "support/service_control.h"

namespace {

const std::string kManifest = "/download/sarnhold/manifest.json";
const wchar_t* const kGetFailure = L"Could not download the Hollowmere update manifest.";
// Nothing listens on port 1 of loopback: the connection is refused at once.
const wchar_t* const kRefusedUrl = L"http://127.0.0.1:1/download/sarnhold/manifest.json";

class HttpRequests : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ResetService()) << "the stand-in service does not answer"; }

    static ServiceScenario Filler(const std::string& path, int status, long long size) {
        ServiceScenario scenario;
        scenario.path = path;
        scenario.status = status;
        scenario.bodySize = size;
        return scenario;
    }

    static RecordedRequest LastRequest() {
        std::vector<RecordedRequest> requests;
        EXPECT_TRUE(ReadServiceRequests(requests));
        return requests.empty() ? RecordedRequest() : requests.back();
    }
};

TEST_F(HttpRequests, GetAcceptsOnly200WithinTheLimit) {
    std::string served;
    ASSERT_TRUE(ReadServiceFile(kManifest, served));
    std::string body;
    std::wstring message = L"unchanged";
    ASSERT_TRUE(HttpGetToMemory(ServiceUrl(kManifestPath), body, message));
    EXPECT_EQ(body, served);
    EXPECT_EQ(message, L"unchanged");

    for (int status : {204, 404, 500, 206}) {
        ASSERT_TRUE(AddServiceReply("/doc", status, "{\"client_version\":\"1\"}"));
        message.clear();
        EXPECT_FALSE(HttpGetToMemory(ServiceTestUrl("/doc"), body, message)) << status;
        EXPECT_EQ(message, kGetFailure) << status;
        ASSERT_TRUE(ResetService());
    }

    ASSERT_TRUE(AddServiceScenario(Filler("/exact", 200, kManifestBodyLimit)));
    ASSERT_TRUE(HttpGetToMemory(ServiceTestUrl("/exact"), body, message));
    EXPECT_EQ(body.size(), kManifestBodyLimit);
    EXPECT_EQ(body.substr(0, 16), "0123456789abcdef");

    ASSERT_TRUE(AddServiceScenario(Filler("/over", 200, kManifestBodyLimit + 1)));
    message.clear();
    EXPECT_FALSE(HttpGetToMemory(ServiceTestUrl("/over"), body, message));
    EXPECT_EQ(message, kGetFailure);

    ASSERT_TRUE(AddServiceScenario(Filler("/empty", 200, 0)));
    body = "stale";
    EXPECT_TRUE(HttpGetToMemory(ServiceTestUrl("/empty"), body, message));
    EXPECT_EQ(body, "");
}

TEST_F(HttpRequests, GetNamesWhatWentWrong) {
    std::string body;
    std::wstring message;
    for (const wchar_t* url : {L"127.0.0.1/download/sarnhold/manifest.json", L"ftp://127.0.0.1/x", L""}) {
        message.clear();
        EXPECT_FALSE(HttpGetToMemory(url, body, message)) << url;
        EXPECT_EQ(message, L"The update URL is invalid.") << url;
    }
    message.clear();
    EXPECT_FALSE(HttpGetToMemory(kRefusedUrl, body, message));
    EXPECT_EQ(message, kGetFailure);
}

TEST_F(HttpRequests, GetSendsItsUserAgentAndKeepsTheQuery) {
    std::string body;
    std::wstring message;
    ASSERT_TRUE(HttpGetToMemory(ServiceTestUrl(kManifest + "?Expires=17&Signature=a%2Fb~c#section"), body, message));
    const RecordedRequest request = LastRequest();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, kManifest + "?Expires=17&Signature=a%2Fb~c");
    EXPECT_EQ(request.Header("User-Agent"), "Hollowmere-Sarnhold-Launcher/2.0");
    EXPECT_FALSE(request.HasHeader("Content-Type"));
    EXPECT_FALSE(request.HasHeader("Range"));
}

TEST_F(HttpRequests, PostHandsBackAnyStatusAndReply) {
    const std::string error = "{\"error\":\"Your session has ended.\"}";
    ASSERT_TRUE(AddServiceReply("/api/launcher/redeem", 401, error));
    std::uint32_t status = 0;
    std::string reply;
    ASSERT_TRUE(HttpPostJson(ServiceUrl(kSignInRedeemPath), "{\"handle\":\"h\",\"verifier\":\"v\"}", status, reply));
    EXPECT_EQ(status, 401u);
    EXPECT_EQ(reply, error);

    // The usual answer of the stand-in: the body arrived as it was sent.
    status = 0;
    ASSERT_TRUE(HttpPostJson(ServiceUrl(kSignInStartPath), "{\"verifier\":\"abc\"}", status, reply));
    EXPECT_EQ(status, 200u);
    EXPECT_NE(reply.find("\"handle\":\""), std::string::npos);
    const RecordedRequest request = LastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/launcher/start");
    EXPECT_EQ(request.body, "{\"verifier\":\"abc\"}");
    EXPECT_EQ(request.Header("User-Agent"), "Hollowmere-Sarnhold-Launcher/1.0");

    ASSERT_TRUE(AddServiceScenario(Filler("/exact", 200, kPostReplyLimit)));
    ASSERT_TRUE(HttpPostJson(ServiceTestUrl("/exact"), "{}", status, reply));
    EXPECT_EQ(reply.size(), kPostReplyLimit);

    ASSERT_TRUE(AddServiceScenario(Filler("/over", 200, kPostReplyLimit + 1)));
    EXPECT_FALSE(HttpPostJson(ServiceTestUrl("/over"), "{}", status, reply));
}

TEST_F(HttpRequests, PostWithEmptyBodyStillCarriesBothHeaders) {
    std::uint32_t status = 0;
    std::string reply;
    ASSERT_TRUE(HttpPostJson(ServiceUrl(kDeviceTicketPath), "", status, reply));
    EXPECT_EQ(status, 403u);  // no device token: the device is refused
    const RecordedRequest request = LastRequest();
    EXPECT_EQ(request.target, "/api/launcher/device-ticket");
    EXPECT_EQ(request.Header("Content-Type"), "application/json");
    EXPECT_EQ(request.Header("Accept"), "application/json");
    EXPECT_EQ(request.body, "");
    const std::string length = request.Header("Content-Length");
    EXPECT_TRUE(length.empty() || length == "0") << length;
}

TEST_F(HttpRequests, PostFailuresLeaveThePresetStatus) {
    std::uint32_t status = 12345;
    std::string reply;
    EXPECT_FALSE(HttpPostJson(L"http://127.0.0.1:1/api/launcher/start", "{}", status, reply));
    EXPECT_FALSE(HttpPostJson(L"not a url", "{}", status, reply));
    // A path beyond the POST buffer is refused before anything is sent.
    ASSERT_TRUE(ClearServiceRequests());
    EXPECT_FALSE(HttpPostJson(ServiceTestUrl("/" + std::string(kPostUrlPathCapacity, 'p')), "{}", status, reply));
    EXPECT_EQ(status, 12345u);
    std::vector<RecordedRequest> requests;
    ASSERT_TRUE(ReadServiceRequests(requests));
    EXPECT_TRUE(requests.empty());
}

}  // namespace
