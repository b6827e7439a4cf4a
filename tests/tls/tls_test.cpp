#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "net/download.h"
#include "net/http_requests.h"
#include "net/service_interface.h"
#include "support/in_process_window.h"
#include "support/service_control.h"
#include "update/update_manifest.h"

// This executable is built for the HTTPS stand-in on https://localhost:<port>. Its
// fixtures made the certificates and trusted the test authority in this Wine prefix
// only; the launcher code is the same as in every other build.

namespace {

const std::string kManifest = "/download/sarnhold/manifest.json";
const std::string kPackage = "/download/sarnhold/client.zip";
const std::string kStart = "/api/launcher/start";
const std::string kStartBody = R"({"verifier":"tls-check"})";

// Certificates WinHTTP must refuse: issued by an authority nobody trusts, expired, and
// made out to another host name.
const char* const kRefusedCertificates[] = {"unknown-authority", "expired", "other-host"};

TEST(Tls, TrustedAuthorityLoadsTheManifestDownloadsAndPosts) {
    ASSERT_EQ(std::wstring(kServiceOrigin).rfind(L"https://localhost:", 0), 0u) << kServiceOrigin;
    ASSERT_TRUE(ResetService());
    std::string package;
    ASSERT_TRUE(ReadServiceFile(kPackage, package));

    UpdateManifest manifest;
    std::wstring message;
    ASSERT_TRUE(FetchUpdateManifest(manifest, message)) << message;
    EXPECT_EQ(manifest.client_url, ServiceTestUrl(kPackage));
    EXPECT_EQ(manifest.client_size, package.size());

    TempFolder folder;
    const std::wstring target = folder / L"client.zip";
    ASSERT_TRUE(DownloadVerifiedFile(manifest.client_url, target, manifest.client_size, manifest.client_sha256,
                                     message, ProgressCallback()))
        << message;
    EXPECT_EQ(ReadFileBytes(target), package);

    std::uint32_t status = 0;
    std::string reply;
    ASSERT_TRUE(HttpPostJson(ServiceTestUrl(kStart), kStartBody, status, reply));
    EXPECT_EQ(status, 200u);
    EXPECT_NE(reply.find("\"handle\":\""), std::string::npos) << reply;

    // All three reached the service as the launcher sent them.
    std::vector<RecordedRequest> requests;
    ASSERT_TRUE(ReadServiceRequests(requests));
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method + " " + requests[0].target, "GET " + kManifest);
    EXPECT_EQ(requests[1].method + " " + requests[1].target, "GET " + kPackage);
    EXPECT_EQ(requests[2].method + " " + requests[2].target, "POST " + kStart);
    EXPECT_EQ(requests[2].body, kStartBody);
}

TEST(Tls, RefusedCertificatesLetNoRequestThrough) {
    ASSERT_TRUE(ResetService());
    UpdateManifest fetched;
    std::wstring message;
    ASSERT_TRUE(FetchUpdateManifest(fetched, message)) << message;

    for (const char* certificate : kRefusedCertificates) {
        SCOPED_TRACE(certificate);
        ASSERT_TRUE(UseServiceCertificate(certificate));
        ASSERT_TRUE(ClearServiceRequests());

        UpdateManifest manifest = fetched;
        manifest.client_version = L"kept";
        message.clear();
        EXPECT_FALSE(FetchUpdateManifest(manifest, message));
        EXPECT_EQ(message, L"Could not download the Hollowmere update manifest.");
        EXPECT_EQ(manifest.client_version, L"kept");

        TempFolder folder;
        const std::wstring target = folder / L"client.zip";
        EXPECT_FALSE(DownloadVerifiedFile(fetched.client_url, target, fetched.client_size, fetched.client_sha256,
                                          message, ProgressCallback()));
        EXPECT_FALSE(FileExists(target));
        EXPECT_EQ(ReadFileBytes(target + L".download"), "");  // not one byte from that server

        std::uint32_t status = 0;
        std::string reply;
        EXPECT_FALSE(HttpPostJson(ServiceTestUrl(kStart), kStartBody, status, reply));
        EXPECT_EQ(status, 0u);

        // Refused during the handshake: the service never saw a request.
        std::vector<RecordedRequest> requests;
        ASSERT_TRUE(ReadServiceRequests(requests));
        EXPECT_TRUE(requests.empty()) << requests.size() << " requests, the first " << requests[0].target;
    }

    // The same service with the good certificate again: what failed was the certificate.
    ASSERT_TRUE(UseServiceCertificate("good"));
    UpdateManifest again;
    EXPECT_TRUE(FetchUpdateManifest(again, message)) << message;
    EXPECT_EQ(again.client_sha256, fetched.client_sha256);
}

// The main window of this process checks for updates against the HTTPS stand-in as it opens.
using TlsMainWindow = InProcessMainWindow;

TEST_F(TlsMainWindow, RefusedCertificateShowsTheOfflineText) {
    ASSERT_TRUE(ResetService());
    for (const char* certificate : {"unknown-authority", "expired", "other-host", "good"}) {
        SCOPED_TRACE(certificate);
        const bool good = std::string(certificate) == "good";
        ASSERT_TRUE(UseServiceCertificate(certificate));
        ASSERT_NE(OpenWindow(), nullptr);
        EXPECT_EQ(IsManifestLoaded(), good);
        EXPECT_EQ(ReadControlText(window, IDC_STATUS),
                  good ? L"Sarnhold is ready to install" : L"Unable to check updates. Check your internet connection.");
        EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), good ? L"INSTALL" : L"Retry");
        if (good) SaveScreenshot(window, L"tls-trusted");
        DestroyWindow(window);
        PumpMessages();
    }
    ResetService();
}

}  // namespace
