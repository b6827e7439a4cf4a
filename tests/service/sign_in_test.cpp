#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>
#include <vector>

#include "net/text_conversion.h"
#include "play/client_interface.h"
#include "play/sign_in.h"
#include "play/sign_in_text.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/client_record.h"
#include "support/in_process_window.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// The whole Play flow inside the test process, against the stand-in service, the
// stand-in browser (registered in the test prefix) and a copy of the stand-in client.
// The flow's boxes are modal on the test thread, so a second thread reads and answers them.

namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kInstructionText =
    L"Finish signing in with Discord in your browser, then return here.\n\n"
    L"Click OK and the launcher will wait for approval.";
constexpr const wchar_t* kTimedOutText =
    L"Discord sign-in timed out or the network connection was interrupted. Please try again.";
constexpr const char* kDeviceTicket = "/api/launcher/device-ticket";
constexpr const char* kStart = "/api/launcher/start";
constexpr const char* kRedeem = "/api/launcher/redeem";
constexpr const char* kAuthorizePage = "/signin/authorize";

bool IsInstruction(const BoxSeen& box) { return box.caption == kSignInInstructionCaption; }

// The stand-in browser opens the page on its own process; wait until the service saw it.
bool WaitForAuthorizePageOpened() {
    return WaitUntil([] { return !ServiceRequestsTo(kAuthorizePage).empty(); }, 15000);
}

// Reads and answers (OK) every box of this process until stopped. beforeAnswer runs on
// the answering thread while the box is still open.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::function<void(const BoxSeen&)> beforeAnswer)
        : beforeAnswer_(std::move(beforeAnswer)), thread_([this] { Run(); }) {}
    ~BoxAnswerer() { Stop(); }
    std::vector<BoxSeen> Stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        return boxes_;
    }

private:
    void Run() {
        while (!done_) {
            MessageBoxSeen seen;
            if (!WaitForMessageBox(GetCurrentProcessId(), 100, seen)) continue;
            const BoxSeen box = {seen.caption, seen.text, GetWindow(seen.box, GW_OWNER), ReadMessageBoxIcon(seen.box)};
            if (beforeAnswer_) beforeAnswer_(box);
            boxes_.push_back(box);
            AnswerMessageBox(seen.box, IDOK);
        }
    }
    std::function<void(const BoxSeen&)> beforeAnswer_;
    std::atomic<bool> done_{false};
    std::vector<BoxSeen> boxes_;
    std::thread thread_;
};

struct SignInRun {
    bool launched = false;
    std::vector<BoxSeen> boxes;
};

std::vector<DWORD> g_waits;
void WINAPI RecordWait(DWORD milliseconds) { g_waits.push_back(milliseconds); }

class SignInFlow : public ::testing::Test {
protected:
    TempFolder install;
    HWND owner = nullptr;

    void SetUp() override {
        ASSERT_TRUE(ResetService());
        ResetLauncherDataFolder();
        SetEnvironmentVariableW(L"HOLLOWMERE_CLIENT_CLOSE_MS", L"200");
        ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, ClientExe().c_str(), FALSE));
        ASSERT_TRUE(WriteInstallPath(install.path));
        owner = CreateWindowExW(0, L"STATIC", L"Sign-in test owner", WS_OVERLAPPED, 0, 0, 200, 100, nullptr,
                                nullptr, nullptr, nullptr);
    }

    void TearDown() override {
        DestroyWindow(owner);
        WaitUntilClientEnded();
        ResetLauncherDataFolder();
        ResetService();
    }

    std::wstring ClientExe() const { return install / kClientExecutableName; }

    // Runs the flow; by default the instruction box is answered once the browser has
    // opened the page, as a player would after signing in.
    SignInRun Run(std::function<void(const BoxSeen&)> beforeAnswer = {}) {
        BoxAnswerer answerer([&beforeAnswer](const BoxSeen& box) {
            if (IsInstruction(box)) {
                EXPECT_TRUE(WaitForAuthorizePageOpened()) << "the browser never opened the page";
            }
            if (beforeAnswer) beforeAnswer(box);
        });
        SignInRun run;
        run.launched = SignInAndLaunch(owner);
        run.boxes = answerer.Stop();
        return run;
    }

    // The stand-in client's record of its start; false when it did not start.
    bool ClientStarted(ClientStartRecord& record) {
        return WaitUntil([&] { return ReadClientStartRecord(install.path, record) && !record.commandLine.empty(); },
                         10000);
    }

    void ForgetClientStart() {
        WaitUntilClientEnded();
        DeleteFileW((install / kClientStartRecordName).c_str());
    }

    // A running client cannot be replaced; once the copy can be rewritten it has ended.
    void WaitUntilClientEnded() {
        WaitUntil([this] { return CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, ClientExe().c_str(), FALSE) != FALSE; },
                  10000);
    }
};

std::string LoadedSession() {
    std::string token;
    return LoadSession(token) ? token : std::string("(none)");
}

TEST_F(SignInFlow, SavedDeviceStartsTheClientWithoutAnyBoxAndRotatesTheToken) {
    ASSERT_TRUE(AcceptServiceDeviceToken("device-saved-1"));
    ASSERT_TRUE(SetServiceUserName("Mira Vale"));
    ASSERT_TRUE(SaveSession("device-saved-1"));

    const SignInRun run = Run();
    EXPECT_TRUE(run.launched);
    EXPECT_TRUE(run.boxes.empty()) << "first box: " << (run.boxes.empty() ? L"" : run.boxes[0].text);

    ClientStartRecord record;
    ASSERT_TRUE(ClientStarted(record));
    // One space on each side of the name, which itself stays unquoted.
    EXPECT_TRUE(std::regex_match(record.arguments, std::wregex(L"-t:ticket-[A-Za-z0-9_-]+ Mira Vale -1sar1")))
        << record.arguments;
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(fs::path(record.workingFolder), fs::path(install.path), error)) << record.workingFolder;

    const std::vector<RecordedRequest> tickets = ServiceRequestsTo(kDeviceTicket);
    ASSERT_EQ(tickets.size(), 1u);
    EXPECT_EQ(tickets[0].body, "{\"device_token\":\"device-saved-1\"}");
    EXPECT_TRUE(ServiceRequestsTo(kStart).empty());
    const std::string rotated = LoadedSession();
    EXPECT_NE(rotated, "device-saved-1");
    EXPECT_EQ(rotated.rfind("device-", 0), 0u) << rotated;
    EXPECT_EQ(ReadAccountName(), L"Mira Vale");
}

TEST_F(SignInFlow, RefusedDeviceSignsOutThenTheBrowserSignInStartsTheClient) {
    ASSERT_TRUE(SaveSession("device-unknown"));  // never accepted: the service answers 403
    ASSERT_TRUE(WriteAccountName(L"Old Name"));
    bool sessionFileAtInstruction = true;
    std::wstring nameAtInstruction = L"(unread)";

    const SignInRun run = Run([&](const BoxSeen& box) {
        if (!IsInstruction(box)) return;
        sessionFileAtInstruction = FileExists(SessionFilePath());
        nameAtInstruction = ReadAccountName();
    });
    EXPECT_TRUE(run.launched);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, L"Hollowmere Discord Sign-in");
    EXPECT_EQ(run.boxes[0].text, kInstructionText);
    EXPECT_EQ(run.boxes[0].icon, BoxIcon::Information);
    EXPECT_FALSE(sessionFileAtInstruction) << "session.bin still there when the browser sign-in began";
    EXPECT_EQ(nameAtInstruction, L"");

    ClientStartRecord record;
    ASSERT_TRUE(ClientStarted(record));
    EXPECT_TRUE(std::regex_match(record.arguments, std::wregex(L"-t:ticket-[A-Za-z0-9_-]+ Wanderer -1sar1")))
        << record.arguments;
    EXPECT_EQ(LoadedSession().rfind("device-", 0), 0u);
    EXPECT_EQ(ReadAccountName(), L"Wanderer");

    // One verifier for the whole sign-in, sent with the handle the page was opened for.
    const std::vector<RecordedRequest> starts = ServiceRequestsTo(kStart);
    const std::vector<RecordedRequest> pages = ServiceRequestsTo(kAuthorizePage);
    const std::vector<RecordedRequest> redeems = ServiceRequestsTo(kRedeem);
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_FALSE(redeems.empty());
    std::smatch verifier;
    ASSERT_TRUE(std::regex_match(starts[0].body, verifier, std::regex("\\{\"verifier\":\"([A-Za-z0-9_-]{43})\"\\}")))
        << starts[0].body;
    const std::string handle = pages[0].target.substr(pages[0].target.find("handle=") + 7);
    EXPECT_EQ(redeems.back().body, BuildRedeemBody(handle, verifier[1].str()));
}

TEST_F(SignInFlow, OtherDeviceFailuresFallBackWithoutSigningOut) {
    struct Case {
        const char* name;
        int status;
        bool drop;
        const char* body;  // null: the usual body
    };
    const Case cases[] = {
        {"server error", 500, false, nullptr},
        {"network failure", 0, true, nullptr},
        {"no device_token", 200, false, "{\"token\":\"t\",\"username\":\"u\"}"},
        {"empty ticket", 200, false, "{\"token\":\"\",\"username\":\"u\",\"device_token\":\"device-x\"}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService());
        ASSERT_TRUE(AcceptServiceDeviceToken("device-kept"));
        ASSERT_TRUE(SaveSession("device-kept"));
        ASSERT_TRUE(WriteAccountName(L"Kept Name"));
        ASSERT_TRUE(c.drop   ? AddServiceDrop(kDeviceTicket, 1)
                    : c.body ? AddServiceReply(kDeviceTicket, c.status, c.body, 1)
                             : AddServiceStatus(kDeviceTicket, c.status, 1));
        std::string tokenAtInstruction = "(unread)";
        std::wstring nameAtInstruction = L"(unread)";

        const SignInRun run = Run([&](const BoxSeen& box) {
            if (!IsInstruction(box)) return;
            tokenAtInstruction = LoadedSession();
            nameAtInstruction = ReadAccountName();
        });
        EXPECT_TRUE(run.launched);
        ASSERT_EQ(run.boxes.size(), 1u) << run.boxes.back().text;
        EXPECT_TRUE(IsInstruction(run.boxes[0]));
        EXPECT_EQ(tokenAtInstruction, "device-kept");
        EXPECT_EQ(nameAtInstruction, L"Kept Name");
        EXPECT_EQ(ServiceRequestsTo(kDeviceTicket).size(), 1u);
        ClientStartRecord record;
        EXPECT_TRUE(ClientStarted(record));
        ForgetClientStart();
    }
}

TEST_F(SignInFlow, AReplyWithoutANewDeviceTokenStartsTheClientAndKeepsTheSavedOne) {
    struct Case {
        const char* name;
        bool device;  // the saved device's ticket carries the reply; else the browser sign-in's
        const char* body;
    };
    const Case cases[] = {
        {"approval without one", false, "{\"token\":\"T2\",\"username\":\"Wanderer\"}"},
        {"approval with an empty one", false, "{\"token\":\"T2\",\"username\":\"Wanderer\",\"device_token\":\"\"}"},
        {"device ticket with an empty one", true, "{\"token\":\"T2\",\"username\":\"Wanderer\",\"device_token\":\"\"}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService());
        ASSERT_TRUE(c.device ? AddServiceReply(kDeviceTicket, 200, c.body, 1)
                             : AddServiceStatus(kDeviceTicket, 500) && AddServiceReply(kRedeem, 200, c.body));
        ASSERT_TRUE(SaveSession("device-before"));

        const SignInRun run = Run();
        EXPECT_TRUE(run.launched);
        EXPECT_EQ(run.boxes.size(), c.device ? 0u : 1u);
        ClientStartRecord record;
        ASSERT_TRUE(ClientStarted(record));
        EXPECT_EQ(record.arguments, L"-t:T2 Wanderer -1sar1");
        EXPECT_EQ(LoadedSession(), "device-before");
        ForgetClientStart();
    }
}

TEST_F(SignInFlow, RefusedApprovalShowsTheServiceTextOrTheTimeOut) {
    struct Case {
        int status;
        const char* body;
        std::wstring expected;
    };
    const Case cases[] = {
        {400, "{\"error\":\"Your Discord account is not linked to Hollowmere.\"}",
         L"Your Discord account is not linked to Hollowmere."},
        {403, "{\"error\":\"\xC3\x86rin is banned \\/ contact support.\"}", L"\u00C6rin is banned / contact support."},
        {400, "{\"message\":\"no error field\"}", kTimedOutText},
        {400, "{\"error\":\"\"}", kTimedOutText},  // an empty text would be a blank box
        {200, "{\"token\":\"\",\"username\":\"Wanderer\",\"device_token\":\"device-z\"}", kTimedOutText},
        {200, "{\"token\":\"T\",\"device_token\":\"device-z\"}", kTimedOutText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        ASSERT_TRUE(ResetService());
        ASSERT_TRUE(AddServiceReply(kRedeem, c.status, c.body, 1));

        const SignInRun run = Run();
        EXPECT_FALSE(run.launched);
        ASSERT_EQ(run.boxes.size(), 2u);
        EXPECT_TRUE(IsInstruction(run.boxes[0]));
        EXPECT_EQ(run.boxes[1].caption, L"Hollowmere Launcher");
        EXPECT_EQ(run.boxes[1].text, c.expected);
        EXPECT_EQ(run.boxes[1].icon, BoxIcon::Warning);
        EXPECT_EQ(ServiceRequestsTo(kRedeem).size(), 1u);
        ClientStartRecord record;
        EXPECT_FALSE(ReadClientStartRecord(install.path, record));
    }
}

TEST_F(SignInFlow, PollingEndsAfterSeventyFivePendingRepliesTwoSecondsApart) {
    ASSERT_TRUE(SetServicePendingReplies(1000000));  // approved or not, always pending
    g_waits.clear();
    const SignInPollWait productWait = ReplaceSignInPollWait(RecordWait);
    const SignInRun run = Run();
    ReplaceSignInPollWait(productWait);

    EXPECT_FALSE(run.launched);
    EXPECT_EQ(ServiceRequestsTo(kRedeem).size(), 75u);
    EXPECT_EQ(g_waits.size(), 75u);  // a wait after each pending reply, the 75th included
    EXPECT_EQ(std::count(g_waits.begin(), g_waits.end(), 2000u), static_cast<long>(g_waits.size()));
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[1].text, kTimedOutText);
    EXPECT_EQ(run.boxes[1].icon, BoxIcon::Warning);
    EXPECT_EQ(productWait, ReplaceSignInPollWait(productWait)) << "the product's wait was not put back";
}

TEST_F(SignInFlow, StartProblemsAreReportedAndNothingButAWebAddressIsOpened) {
    // A program the reply might name: the stand-in client records any start of it.
    TempFolder trap;
    const std::wstring trapExe = trap / kClientExecutableName;
    ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, trapExe.c_str(), FALSE));
    std::string trapJson;  // an ASCII temporary path, its backslashes escaped
    for (wchar_t c : trapExe) trapJson += (c == L'\\') ? std::string("\\\\") : std::string(1, static_cast<char>(c));

    struct Case {
        const char* name;
        int status;
        bool drop;
        std::string body;  // empty: the usual reply
        std::wstring expected;
    };
    const std::wstring noService = L"Could not contact the Hollowmere sign-in service.";
    const std::wstring invalid = L"The sign-in service returned an invalid response.";
    const std::wstring noBrowser = L"Could not open Discord sign-in in your browser.";
    const Case cases[] = {
        {"server error", 503, false, "", noService},
        {"network failure", 0, true, "", noService},
        {"no authorize_url", 200, false, "{\"handle\":\"h\"}", invalid},
        {"empty address", 200, false, "{\"handle\":\"h\",\"authorize_url\":\"\"}", noBrowser},
        {"file address", 200, false, "{\"handle\":\"h\",\"authorize_url\":\"file:\\/\\/\\/" + trapJson + "\"}",
         noBrowser},
        {"program path", 200, false, "{\"handle\":\"h\",\"authorize_url\":\"" + trapJson + "\"}", noBrowser},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService());
        ASSERT_TRUE(c.drop             ? AddServiceDrop(kStart)
                    : c.body.empty() ? AddServiceStatus(kStart, c.status)
                                     : AddServiceReply(kStart, c.status, c.body));

        const SignInRun run = Run();
        EXPECT_FALSE(run.launched);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].caption, L"Hollowmere Launcher");
        EXPECT_EQ(run.boxes[0].text, c.expected);
        EXPECT_EQ(run.boxes[0].icon, BoxIcon::Error);
        EXPECT_TRUE(ServiceRequestsTo(kRedeem).empty());
    }
    Sleep(1000);  // a program started by mistake has had time to leave its record
    ClientStartRecord record;
    EXPECT_FALSE(ReadClientStartRecord(trap.path, record)) << "the named program was run";
    EXPECT_FALSE(ReadClientStartRecord(install.path, record));
}

}  // namespace
