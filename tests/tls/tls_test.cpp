#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/download.h"
#include "net/http_requests.h"
#include "net/service_interface.h"
#include "net/text_conversion.h"
#include "support/clean_world.h"
#include "support/service_control.h"
#include "update/update_manifest.h"

// This executable is built for the HTTPS stand-in on https://localhost:<port>. Its
// fixtures made the certificates and trusted the test authority in this Wine prefix
// only; the launcher code is the same as in every other build.

namespace {

using Tls = ServiceWorld;

// Certificates WinHTTP must refuse (issued by an authority nobody trusts, expired, made
// out to another host name) let not one request through, during the handshake; the
// trusted one carries the manifest, the package and a sign-in request.
TEST_F(Tls, OnlyTheTrustedCertificateLetsTheLaunchersRequestsThrough) {
    ASSERT_EQ(std::wstring(kServiceOrigin).rfind(L"https://localhost:", 0), 0u) << kServiceOrigin;
    const std::string manifestPath = "/download/sarnhold/manifest.json", packagePath = "/download/sarnhold/client.zip";
    UpdateManifest served;
    std::wstring message;
    std::string package;
    ASSERT_TRUE(FetchUpdateManifest(served, message) && ReadServiceFile(packagePath, package)) << message;

    for (const char* name : {"unknown-authority", "expired", "other-host", "good"}) {
        const std::string certificate = name;
        SCOPED_TRACE(certificate);
        const bool trusted = certificate == "good";
        ASSERT_TRUE(ResetService() && ServiceControl("tls?certificate=" + certificate));
        UpdateManifest manifest;
        message.clear();
        EXPECT_EQ(FetchUpdateManifest(manifest, message), trusted);
        EXPECT_EQ(message, trusted ? L"" : L"Could not download the Hollowmere update manifest.");
        EXPECT_EQ(manifest.client_sha256, trusted ? served.client_sha256 : L"");

        const std::wstring target = folder / Utf8ToWide(certificate);
        EXPECT_EQ(DownloadVerifiedFile(served.client_url, target, served.client_size, served.client_sha256, message,
                                       ProgressCallback()),
                  trusted);
        EXPECT_EQ(ReadFileBytes(target), trusted ? package : "");
        EXPECT_EQ(ReadFileBytes(target + L".download"), "");

        std::uint32_t status = 0;
        std::string reply;
        EXPECT_EQ(HttpPostJson(ServiceTestUrl("/api/launcher/start"), R"({"verifier":"tls"})", status, reply), trusted);
        EXPECT_EQ(status, trusted ? 200u : 0u);
        const std::vector<std::string> seen = {manifestPath, packagePath, "/api/launcher/start"};
        EXPECT_EQ(SeenByService("", "target"), trusted ? seen : std::vector<std::string>());
    }
}

}  // namespace
