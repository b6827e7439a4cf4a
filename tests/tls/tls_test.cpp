#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/ui_resources.h"
#include "net/download.h"
#include "net/http_requests.h"
#include "net/service_interface.h"
#include "state/launcher_config.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"
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

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;  // left by a window destroyed earlier
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The main window created in this process, so it checks for updates against the HTTPS
// stand-in as it opens.
class TlsMainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        if (!Ui().bodyFont) CreateUiResources(GetModuleHandleW(nullptr));
        UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr));
        ASSERT_TRUE(RegisterLauncherClass(GetModuleHandleW(nullptr), MainWindowProc));
    }
    static void TearDownTestSuite() { UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr)); }

    void SetUp() override {
        ResetLauncherDataFolder();
        ASSERT_TRUE(WriteInstallPath(folder.path));  // empty: nothing installed there
    }
    void TearDown() override {
        ResetLauncherDataFolder();
        ResetService();
    }

    // Opens the window, reads its status line and main action, and closes it again.
    void OpenWindow(std::wstring& status, std::wstring& action, const std::wstring& screenshot) {
        HWND window = CreateLauncherWindow(GetModuleHandleW(nullptr), kMainClientHeight);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        PumpMessages();
        status = ReadControlText(window, IDC_STATUS);
        action = ReadControlText(window, IDC_MAIN_ACTION);
        SaveScreenshot(window, screenshot);
        DestroyWindow(window);
        PumpMessages();
    }

    TempFolder folder;
};

TEST_F(TlsMainWindow, RefusedCertificateShowsTheOfflineText) {
    ASSERT_TRUE(ResetService());
    std::wstring status;
    std::wstring action;
    for (const char* certificate : kRefusedCertificates) {
        SCOPED_TRACE(certificate);
        ASSERT_TRUE(UseServiceCertificate(certificate));
        OpenWindow(status, action, L"tls-refused-" + std::wstring(certificate, certificate + std::strlen(certificate)));
        EXPECT_FALSE(IsManifestLoaded());
        EXPECT_EQ(status, L"Unable to check updates. Check your internet connection.");
        EXPECT_EQ(action, L"Retry");
    }

    ASSERT_TRUE(UseServiceCertificate("good"));
    OpenWindow(status, action, L"tls-trusted");
    EXPECT_TRUE(IsManifestLoaded());
    EXPECT_EQ(status, L"Sarnhold is ready to install");
    EXPECT_EQ(action, L"INSTALL");
}

}  // namespace
