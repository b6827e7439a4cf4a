#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <regex>

#include "app/main_window.h"
#include "net/http_requests.h"
#include "net/json_fields.h"
#include "net/service_interface.h"
#include "play/client_interface.h"
#include "play/sign_in_text.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/client_record.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// PLAY on the real launcher with an installed client and no saved sign-in: the browser
// sign-in runs through the stand-in browser and service, the client starts, the
// launcher ends.

namespace {

namespace fs = std::filesystem;

size_t CountRequestsTo(const std::string& path) { return ServiceRequestsTo(path).size(); }

// The client folder as an install leaves it: the executable and the marker of the
// version the service's manifest names.
void PrepareInstalledClient(const TempFolder& install) {
    ASSERT_TRUE(CopyFileW(BuildPath(L"tools/game-client/Sarnhold-Elderline.exe").c_str(),
                          (install / kClientExecutableName).c_str(), FALSE));
    std::string manifest, version;
    ASSERT_TRUE(ReadServiceFile("/download/sarnhold/manifest.json", manifest));
    ASSERT_TRUE(ExtractJsonString(manifest, "client_version", version));
    ASSERT_TRUE(WriteFileBytes(install / kClientVersionMarkerName, version + "\n"));
}

TEST(PlayFromTheWindow, BrowserSignInStartsTheClientAndEndsTheLauncher) {
    ASSERT_TRUE(ResetService());
    ResetLauncherDataFolder();
    ASSERT_TRUE(SetServicePendingReplies(2));
    ASSERT_TRUE(SetServiceUserName("Mira Vale"));
    SetEnvironmentVariableW(L"HOLLOWMERE_CLIENT_CLOSE_MS", L"500");  // inherited by launcher and client
    TempFolder install;
    PrepareInstalledClient(install);
    ASSERT_TRUE(WriteInstallPath(install.path));

    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WaitForControlText(window, IDC_MAIN_ACTION, L"PLAY", 10000), L"PLAY");
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), L"Client up to date");
    ClickControl(window, IDC_MAIN_ACTION);

    MessageBoxSeen instruction;
    ASSERT_TRUE(WaitForMessageBox(run.pid, 30000, instruction));
    EXPECT_EQ(instruction.caption, L"Hollowmere Discord Sign-in");
    EXPECT_EQ(instruction.text,
              L"Finish signing in with Discord in your browser, then return here.\n\n"
              L"Click OK and the launcher will wait for approval.");
    SaveScreenshot(instruction.box, L"sign-in-instruction");
    // Polling starts only once the box is closed: nothing is redeemed while it is open.
    ASSERT_TRUE(WaitUntil([] { return CountRequestsTo("/signin/authorize") > 0; }, 15000))
        << "the browser did not open the page";
    EXPECT_EQ(CountRequestsTo("/api/launcher/redeem"), 0u);
    const ULONGLONG answered = GetTickCount64();
    AnswerMessageBox(instruction.box, IDOK);

    EXPECT_EQ(WaitForExit(run, 60000), 0u);
    // Two pending replies, each followed by the product's 2000 ms wait.
    EXPECT_GE(GetTickCount64() - answered, 3900u);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CountRequestsTo("/api/launcher/redeem"), 3u);
    EXPECT_EQ(CountRequestsTo("/api/launcher/start"), 1u);
    EXPECT_EQ(CountRequestsTo("/api/launcher/device-ticket"), 0u);

    ClientStartRecord record;
    WaitUntil([&] { return ReadClientStartRecord(install.path, record) && !record.commandLine.empty(); }, 10000);
    EXPECT_TRUE(std::regex_match(record.arguments, std::wregex(L"-t:ticket-[A-Za-z0-9_-]+ Mira Vale -1sar1")))
        << record.arguments;
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(fs::path(record.workingFolder), fs::path(install.path), error))
        << record.workingFolder;

    std::string token;
    EXPECT_TRUE(LoadSession(token));
    EXPECT_EQ(token.rfind("device-", 0), 0u) << token;
    EXPECT_EQ(ReadAccountName(), L"Mira Vale");
    // The saved token is the one the service issued: it buys the next ticket.
    std::uint32_t status = 0;
    std::string reply;
    EXPECT_TRUE(HttpPostJson(ServiceUrl(kDeviceTicketPath), BuildDeviceTicketBody(token), status, reply));
    EXPECT_EQ(status, 200u) << reply;

    // A running client cannot be deleted with its folder.
    WaitUntil([&] { return DeleteFileW((install / kClientExecutableName).c_str()) != FALSE; }, 10000);
    ResetLauncherDataFolder();
}

}  // namespace
