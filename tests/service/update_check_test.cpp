#include <gtest/gtest.h>

#include <windows.h>

#include "app/main_window.h"
#include "support/service_control.h"
#include "update/update_manifest.h"

namespace {

const std::string kManifest = "/download/sarnhold/manifest.json";
const std::string kPackage = "/download/sarnhold/client.zip";

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// A stand-in for the main window's status line, so the check has a control to fill.
struct StatusLine {
    HWND window = CreateWindowExW(0, L"STATIC", L"before", WS_POPUP, 0, 0, 400, 20, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    StatusLine() { MainWindow().statusLine = window; }
    ~StatusLine() {
        MainWindow().statusLine = nullptr;
        DestroyWindow(window);
    }
};

TEST(UpdateManifestFetch, ReadsTheServedManifest) {
    ASSERT_TRUE(ResetService());
    std::string package;
    ASSERT_TRUE(ReadServiceFile(kPackage, package));
    UpdateManifest manifest;
    std::wstring message;
    ASSERT_TRUE(FetchUpdateManifest(manifest, message)) << message;
    EXPECT_EQ(manifest.client_url, ServiceTestUrl(kPackage));
    EXPECT_EQ(manifest.client_size, package.size());
    EXPECT_EQ(manifest.client_sha256.size(), 64u);
    EXPECT_FALSE(manifest.client_version.empty());
    EXPECT_FALSE(LauncherUpdateAvailable(manifest.launcher_version));

    // Failures name their reason and keep the record.
    const UpdateManifest before = manifest;
    const std::pair<std::string, const wchar_t*> broken[] = {
        {R"({"client_version":"1"})", L"The Hollowmere update manifest is invalid."},
        {std::string(262145, ' '), L"Could not download the Hollowmere update manifest."},
        {R"({"client_version":"1","client_url":"u","client_size":"big","client_sha256":"",)"
         R"("launcher_version":"","launcher_url":"","launcher_sha256":""})",
         L"The client download size is invalid."},
    };
    for (const auto& sample : broken) {
        ASSERT_TRUE(ServeServiceFile(kManifest, sample.first));
        message.clear();
        EXPECT_FALSE(FetchUpdateManifest(manifest, message));
        EXPECT_EQ(message, sample.second);
        EXPECT_EQ(manifest.client_url, before.client_url);
        EXPECT_EQ(manifest.client_size, before.client_size);
    }
    ASSERT_TRUE(ResetService());
}

TEST(UpdateCheck, KeepsTheRecordAndReportsInTheStatusLine) {
    ASSERT_TRUE(ResetService());
    StatusLine status;
    ASSERT_TRUE(status.window);
    ASSERT_TRUE(CheckForUpdates());
    EXPECT_TRUE(IsManifestLoaded());
    EXPECT_EQ(WindowText(status.window), L"before");  // success says nothing
    const UpdateManifest loaded = CurrentManifest();
    EXPECT_EQ(loaded.client_url, ServiceTestUrl(kPackage));

    ServiceScenario unavailable;
    unavailable.path = kManifest;
    unavailable.status = 503;
    ASSERT_TRUE(AddServiceScenario(unavailable));
    EXPECT_FALSE(CheckForUpdates());
    EXPECT_FALSE(IsManifestLoaded());
    EXPECT_EQ(WindowText(status.window), L"Could not download the Hollowmere update manifest.");
    EXPECT_EQ(CurrentManifest().client_url, loaded.client_url);
    EXPECT_EQ(CurrentManifest().client_sha256, loaded.client_sha256);

    // All fields present but nothing to install: still a failure the player is told about.
    ASSERT_TRUE(ResetService());
    ASSERT_TRUE(ServeServiceFile(kManifest, R"({"client_version":"","client_url":"http://x/c.zip","client_size":"5",)"
                                            R"("client_sha256":"","launcher_version":"","launcher_url":"",)"
                                            R"("launcher_sha256":""})"));
    EXPECT_FALSE(CheckForUpdates());
    EXPECT_FALSE(IsManifestLoaded());
    EXPECT_EQ(WindowText(status.window), L"The Hollowmere update manifest is invalid.");
    EXPECT_EQ(CurrentManifest().client_url, loaded.client_url);
    EXPECT_EQ(CurrentManifest().client_size, loaded.client_size);

    ASSERT_TRUE(ResetService());
    EXPECT_TRUE(CheckForUpdates());
    EXPECT_TRUE(IsManifestLoaded());
}

}  // namespace
