#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <regex>
#include <string>
#include <vector>

#include "app/ui_resources.h"
#include "net/text_conversion.h"
#include "play/client_interface.h"
#include "play/game_launch.h"
#include "play/sign_in.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/clean_world.h"
#include "support/client_record.h"
#include "support/in_process_window.h"
#include "support/service_control.h"

// The whole Play flow inside the test process, against the stand-in service, the
// stand-in browser (registered in the test prefix) and a copy of the stand-in client.

namespace {

const wchar_t* const kTimedOut =
    L"Discord sign-in timed out or the network connection was interrupted. Please try again.";
const char* const kDeviceTicket = "/api/launcher/device-ticket";
const char* const kStart = "/api/launcher/start";
const char* const kRedeem = "/api/launcher/redeem";

std::vector<DWORD> g_waits;
bool WINAPI RecordWait(HANDLE, DWORD milliseconds) {
    g_waits.push_back(milliseconds);
    return false;
}

std::string LoadedSession() {
    std::string token;
    return LoadSession(token) ? token : std::string("(none)");
}

class SignInFlow : public ServiceWorld {
protected:
    void SetUp() override {
        ServiceWorld::SetUp();
        SetEnvironmentVariableW(L"HOLLOWMERE_CLIENT_CLOSE_MS", L"200");
        ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, ClientExe().c_str(), FALSE));
        ASSERT_TRUE(WriteInstallPath(folder.path));
    }
    void TearDown() override {
        // A running client cannot be replaced; once the copy can be rewritten it has ended.
        WaitUntil([this] { return CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, ClientExe().c_str(), FALSE) != FALSE; }, 10000);
        ServiceWorld::TearDown();
    }
    std::wstring ClientExe() const { return folder / kClientExecutableName; }

    // Runs the flow while another thread reads and answers (OK) its boxes, which are modal
    // on this thread. With waitForPage the instruction box is answered once the browser
    // has opened the page, as a player would after signing in.
    bool Run(bool waitForPage = false) {
        std::atomic<bool> done{false};
        auto answers = std::async(std::launch::async, [&] {
            std::vector<BoxSeen> seenBoxes;
            for (MessageBoxSeen seen; !done;) {
                if (!WaitForMessageBox(GetCurrentProcessId(), 100, seen)) continue;
                if (waitForPage && seen.caption == kSignInInstructionCaption)
                    WaitUntil([] { return !SeenByService("/signin/authorize").empty(); }, 15000);
                seenBoxes.push_back({seen.caption, seen.text, nullptr, ReadMessageBoxIcon(seen.box)});
                AnswerMessageBox(seen.box, IDOK);
            }
            return seenBoxes;
        });
        const bool launched = SignInAndLaunch(nullptr);
        done = true;
        boxes = answers.get();
        return launched;
    }
    std::vector<BoxSeen> boxes;
};

// Each way in: a saved device, the browser sign-in after a failing device, and replies
// without a new device token, which leave the saved one in place.
TEST_F(SignInFlow, EachWayInStartsTheClientWithItsTicketAndKeepsAUsableDevice) {
    struct Case {
        const char *name, *saved, *path, *how, *body, *ticket, *account, *session;  // the last three: patterns
    };
    const Case cases[] = {
        {"saved device", "device-1", "", "", "", "ticket-[\\w-]+", "Mira Vale", "device-(?!1$).+"},
        {"saved device, empty new token", "device-1", kDeviceTicket, "status=200",
         R"({"token":"T2","username":"Wanderer","device_token":""})", "T2", "Wanderer", "device-1"},
        {"browser sign-in", "device-refused", "", "", "", "ticket-[\\w-]+", "Mira Vale", "device-.+"},
        {"approval without a device token", "device-1", kRedeem, "status=200", R"({"token":"T2","username":"Wanderer"})",
         "T2", "Wanderer", "device-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW((folder / kClientStartRecordName).c_str());  // an earlier client may still run
        ASSERT_TRUE(ResetService() && ServiceControl("signin/device-token?token=device-1") &&
                    ServiceControl("signin/username", "Mira Vale") && SaveSession(c.saved));
        ASSERT_TRUE(!*c.path || AddScenario(c.path, std::string(c.how) + "&times=1", c.body));
        ASSERT_TRUE(std::string(c.path) != kRedeem || AddScenario(kDeviceTicket, "status=500&times=1"));

        EXPECT_TRUE(Run(true));
        ClientStartRecord record;
        ASSERT_TRUE(WaitUntil([&] { return ReadClientStartRecord(folder.path, record) && !record.arguments.empty(); }, 10000));
        // One space on each side of the name, which itself stays unquoted.
        EXPECT_TRUE(std::regex_match(record.arguments,
                                     std::wregex(Utf8ToWide(std::string("-t:") + c.ticket + " " + c.account + " -1sar1"))))
            << record.arguments;
        std::error_code error;
        EXPECT_TRUE(std::filesystem::equivalent(record.workingFolder, folder.path, error)) << record.workingFolder;
        EXPECT_TRUE(std::regex_match(LoadedSession(), std::regex(c.session))) << LoadedSession();
        EXPECT_EQ(ReadAccountName(), Utf8ToWide(c.account));
        EXPECT_EQ(SeenByService(kDeviceTicket, "body").at(0), "{\"device_token\":\"" + std::string(c.saved) + "\"}");
        // The stand-in redeems only with the verifier and handle of the page it opened.
        ASSERT_EQ(boxes.size(), SeenByService(kStart).size());
        for (const BoxSeen& box : boxes) EXPECT_EQ(box.caption, kSignInInstructionCaption);
    }
}

// Every way the flow stops short: the box saying why, and the saved device forgotten only
// when the service refused it. A device failure falls back to the browser sign-in, whose
// reply here names a program, which must never run.
TEST_F(SignInFlow, EachStopShowsItsReasonAndRunsNothing) {
    TempFolder trap;
    ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, (trap / kClientExecutableName).c_str(), FALSE));
    std::string programReply = R"({"handle":"h","authorize_url":")";
    for (wchar_t c : trap / kClientExecutableName) programReply += c == L'\\' ? '/' : static_cast<char>(c);  // ASCII
    programReply += "\"}";
    const std::wstring noBrowser = L"Could not open Discord sign-in in your browser.";
    struct Case {
        const char *path, *how, *body;
        std::wstring box;
        const char* session;
    };
    const Case cases[] = {
        {kDeviceTicket, "status=403", R"({"error":"This device is no longer signed in."})", noBrowser, "(none)"},
        {kDeviceTicket, "status=500", nullptr, noBrowser, "device-kept"},
        {kDeviceTicket, "status=200", R"({"token":"t","username":"u"})", noBrowser, "device-kept"},
        {kDeviceTicket, "status=200", R"({"token":"","username":"u","device_token":"device-x"})", noBrowser, "device-kept"},
        {kStart, "status=503", nullptr, L"Could not contact the Hollowmere sign-in service.", "(none)"},
        {kStart, "status=200", R"({"handle":"h"})", L"The sign-in service returned an invalid response.", "(none)"},
        {kRedeem, "status=403", "{\"error\":\"\xC3\x86rin is not linked \\/ ask support.\"}",
         L"\u00C6rin is not linked / ask support.", "(none)"},
        {kRedeem, "status=400", R"({"error":""})", kTimedOut, "(none)"},  // an empty text would be a blank box
        {kRedeem, "status=200", R"({"token":"","username":"Wanderer","device_token":"device-z"})", kTimedOut, "device-z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.how);
        const bool redeem = std::string(c.path) == kRedeem;
        ASSERT_TRUE(ResetService() && SaveSession("device-kept") && WriteAccountName(L"Kept Name"));
        ASSERT_TRUE(AddScenario(c.path, std::string(c.how) + "&times=1", c.body));
        ASSERT_TRUE(redeem || AddScenario(kStart, "status=200&times=1", programReply.c_str()));

        EXPECT_FALSE(Run());
        ASSERT_EQ(boxes.size(), redeem ? 2u : 1u);  // after the instruction box when redeeming
        EXPECT_EQ(boxes.back().caption, kLauncherCaption);
        EXPECT_EQ(boxes.back().text, c.box);
        EXPECT_EQ(boxes.back().icon, redeem ? BoxIcon::Warning : BoxIcon::Error);
        EXPECT_EQ(LoadedSession(), c.session);
        EXPECT_EQ(ReadAccountName(), std::string(c.session) == "device-kept" ? L"Kept Name" : L"");
        EXPECT_EQ(SeenByService(kRedeem).size(), redeem ? 1u : 0u);
    }
    Sleep(500);  // a program started by mistake has had time to leave its record
    ClientStartRecord record;
    EXPECT_FALSE(ReadClientStartRecord(trap.path, record)) << "the named program was run";
    EXPECT_FALSE(ReadClientStartRecord(folder.path, record));
}

TEST_F(SignInFlow, PollingEndsAfterSeventyFivePendingRepliesTwoSecondsApart) {
    ASSERT_TRUE(ServiceControl("signin/pending?count=1000000"));  // approved or not, always pending
    const SignInPollWait productWait = ReplaceSignInPollWait(RecordWait);
    EXPECT_FALSE(Run());
    ReplaceSignInPollWait(productWait);
    EXPECT_EQ(SeenByService(kRedeem).size(), 75u);
    EXPECT_EQ(g_waits, std::vector<DWORD>(75, 2000));  // a wait after each pending reply, the 75th included
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, kTimedOut);
}

TEST_F(SignInFlow, AClientThatCannotStartIsNamedInAnErrorBox) {
    const std::pair<bool, const wchar_t*> cases[] = {
        {false, L"Sarnhold is not installed yet\\. Use Install or Repair first\\."},
        {true, L"Could not launch Sarnhold\\. Windows error: [1-9][0-9]*"}};  // there, but no program
    for (const auto& [present, box] : cases) {
        DeleteFileW(ClientExe().c_str());
        ASSERT_TRUE(!present || WriteFileBytes(ClientExe(), std::string(4096, 'x')));
        auto answers = AnswerBoxes({IDOK});
        EXPECT_FALSE(LaunchClient(nullptr, L"-t:ticket Wanderer -1sar1"));
        const std::vector<BoxSeen> seen = answers.get();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_TRUE(std::regex_match(seen[0].text, std::wregex(box))) << seen[0].text;
        EXPECT_EQ(seen[0].icon, BoxIcon::Error);
    }
}

}  // namespace
