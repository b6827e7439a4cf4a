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

TEST(UpdateCheck, KeepsTheRecordAndReportsInTheStatusLine) {
    ASSERT_TRUE(ResetService());
    StatusLine status;
    ASSERT_TRUE(status.window);
    ASSERT_TRUE(CheckForUpdates());
    EXPECT_TRUE(IsManifestLoaded());
    EXPECT_EQ(WindowText(status.window), L"before");  // success says nothing
    const UpdateManifest loaded = CurrentManifest();
    EXPECT_EQ(loaded.client_url, ServiceTestUrl(kPackage));

    ASSERT_TRUE(AddServiceStatus(kManifest, 503));
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
