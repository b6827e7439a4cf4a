#include "play/sign_in.h"

#include <bcrypt.h>
#include <shellapi.h>

#include <cstdint>

#include "resources/ui_text.h"
#include "net/http_requests.h"
#include "net/json_fields.h"
#include "net/service_interface.h"
#include "net/text_conversion.h"
#include "play/game_launch.h"
#include "play/sign_in_text.h"
#include "state/launcher_config.h"
#include "state/session.h"

namespace {

constexpr const wchar_t* kNoRandomMessage = L"Windows could not create a secure sign-in request.";
constexpr const wchar_t* kNoServiceMessage = L"Could not contact the Hollowmere sign-in service.";
constexpr const wchar_t* kInvalidReplyMessage = L"The sign-in service returned an invalid response.";
constexpr const wchar_t* kNoBrowserMessage = L"Could not open Discord sign-in in your browser.";
constexpr const wchar_t* kTimedOutMessage =
    L"Discord sign-in timed out or the network connection was interrupted. Please try again.";
constexpr const wchar_t* kInstructionMessage =
    L"Finish signing in with Discord in your browser, then return here.\n\n"
    L"Click OK and the launcher will wait for approval.";

bool WINAPI WaitWithStop(HANDLE stop, DWORD milliseconds);

constexpr std::uint32_t kStatusOk = 200;
constexpr std::uint32_t kStatusPending = 202;
constexpr std::uint32_t kStatusDeviceRefused = 403;

SignInPollWait g_pollWait = WaitWithStop;

// One sign-in request. status stays 0 unless the service's status line was read.
struct ServiceReply {
    bool answered = false;
    std::uint32_t status = 0;
    std::string body;
};

ServiceReply PostToService(const wchar_t* path, const std::string& body) {
    ServiceReply reply;
    reply.answered = HttpPostJson(ServiceUrl(path), body, reply.status, reply.body);
    return reply;
}

SignInStart FailStart(HWND window, const wchar_t* text) {
    MessageBoxW(window, text, kLauncherCaption, MB_ICONERROR);
    return SignInStart::Failed;
}

bool ShowTimedOut(HWND window) {
    MessageBoxW(window, kTimedOutMessage, kLauncherCaption, MB_ICONWARNING);
    return false;
}

bool LaunchWithTicket(HWND window, const std::wstring& ticket, const std::wstring& userName) {
    WriteAccountName(userName);
    const std::wstring arguments = BuildClientArguments(ticket, userName);
    return LaunchClient(window, arguments.c_str());
}

// The saved-device way. True when it got as far as starting the client (launched then
// holds whether the start worked); false when the browser sign-in has to follow.
bool SignInWithSavedDevice(HWND window, bool& launched) {
    std::string deviceToken;
    if (!LoadSession(deviceToken)) return false;
    const ServiceReply reply = PostToService(kDeviceTicketPath, BuildDeviceTicketBody(deviceToken));
    if (reply.answered && reply.status == kStatusOk) {
        std::string ticket, userName, nextDeviceToken;
        if (ExtractJsonStringStrict(reply.body, "token", ticket) &&
            ExtractJsonStringStrict(reply.body, "username", userName) &&
            ExtractJsonStringStrict(reply.body, "device_token", nextDeviceToken)) {
            // A ticket or name that is empty (or not UTF-8) cannot sign the client in;
            // such a reply is treated like one with a field missing.
            const std::wstring wideTicket = Utf8ToWide(ticket);
            const std::wstring wideUserName = Utf8ToWide(userName);
            // An empty device token would replace the saved sign-in with one that can never work.
            if (!wideTicket.empty() && !wideUserName.empty() && (nextDeviceToken.empty() || SaveSession(nextDeviceToken))) {
                launched = LaunchWithTicket(window, wideTicket, wideUserName);
                return true;
            }
        }
    }
    // The service no longer knows this device: forget it and its name.
    if (reply.status == kStatusDeviceRefused) SignOut();
    return false;
}

bool OpenInBrowser(HWND window, const std::wstring& url) {
    // Only a web address goes to the shell: a reply naming a program or a file would
    // otherwise be run or opened on the player's machine.
    if (!IsBrowserUrl(url)) return false;
    const HINSTANCE result = ShellExecuteW(window, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool LaunchFromApproval(HWND window, const std::string& replyBody) {
    std::string ticket, userName, nextDeviceToken;
    if (!ExtractJsonStringStrict(replyBody, "token", ticket) ||
        !ExtractJsonStringStrict(replyBody, "username", userName)) {
        return ShowTimedOut(window);
    }
    // Optional here: without it (or with an empty one) the device token saved before stays.
    if (ExtractJsonStringStrict(replyBody, "device_token", nextDeviceToken) && !nextDeviceToken.empty())
        SaveSession(nextDeviceToken);
    const std::wstring wideTicket = Utf8ToWide(ticket);
    const std::wstring wideUserName = Utf8ToWide(userName);
    if (wideTicket.empty() || wideUserName.empty()) return ShowTimedOut(window);
    return LaunchWithTicket(window, wideTicket, wideUserName);
}

SignInStart SignInWithBrowser(HWND window, PendingApproval& pending) {
    const std::string verifier = MakeSignInVerifier();
    if (verifier.empty()) return FailStart(window, kNoRandomMessage);

    const ServiceReply reply = PostToService(kSignInStartPath, BuildStartBody(verifier));
    if (!reply.answered || reply.status != kStatusOk) return FailStart(window, kNoServiceMessage);
    std::string handle, authorizeUrl;
    if (!ExtractJsonStringStrict(reply.body, "handle", handle) ||
        !ExtractJsonStringStrict(reply.body, "authorize_url", authorizeUrl)) {
        return FailStart(window, kInvalidReplyMessage);
    }
    if (!OpenInBrowser(window, Utf8ToWide(authorizeUrl))) return FailStart(window, kNoBrowserMessage);

    // Polling starts only once the player has closed this box.
    MessageBoxW(window, kInstructionMessage, kSignInInstructionCaption, MB_OK | MB_ICONINFORMATION);
    pending.handle = handle;
    pending.verifier = verifier;
    return SignInStart::AwaitApproval;
}

bool WINAPI WaitWithStop(HANDLE stop, DWORD milliseconds) {
    if (!stop) {
        Sleep(milliseconds);
        return false;
    }
    return WaitForSingleObject(stop, milliseconds) == WAIT_OBJECT_0;
}

bool IsStopped(HANDLE stop) { return stop && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; }

}  // namespace

SignInStart StartSignIn(HWND window, PendingApproval& pending) {
    bool launched = false;
    if (SignInWithSavedDevice(window, launched)) return launched ? SignInStart::Launched : SignInStart::Failed;
    return SignInWithBrowser(window, pending);
}

ApprovalAnswer WaitForApproval(const PendingApproval& pending, HANDLE stop) {
    const std::string body = BuildRedeemBody(pending.handle, pending.verifier);
    ApprovalAnswer answer;
    for (int attempt = 0; attempt < kRedeemMaxAttempts; ++attempt) {
        if (IsStopped(stop)) {
            answer.kind = ApprovalAnswer::Kind::Stopped;
            return answer;
        }
        const ServiceReply reply = PostToService(kSignInRedeemPath, body);
        if (!reply.answered) return answer;  // no answer: timed out
        if (reply.status == kStatusPending) {
            if (g_pollWait(stop, kRedeemPollIntervalMs)) {
                answer.kind = ApprovalAnswer::Kind::Stopped;
                return answer;
            }
            continue;
        }
        answer.kind = reply.status == kStatusOk ? ApprovalAnswer::Kind::Approved : ApprovalAnswer::Kind::Refused;
        answer.body = reply.body;
        return answer;
    }
    return answer;
}

bool FinishSignIn(HWND window, const ApprovalAnswer& answer) {
    switch (answer.kind) {
        case ApprovalAnswer::Kind::Stopped:
            return false;
        case ApprovalAnswer::Kind::Approved:
            return LaunchFromApproval(window, answer.body);
        case ApprovalAnswer::Kind::Refused: {
            std::string error;
            // An error text that is empty or not UTF-8 would give a blank box.
            const std::wstring text = ExtractJsonStringStrict(answer.body, "error", error) ? Utf8ToWide(error) : L"";
            if (!text.empty()) {
                MessageBoxW(window, text.c_str(), kLauncherCaption, MB_ICONWARNING);
                return false;
            }
            return ShowTimedOut(window);
        }
        case ApprovalAnswer::Kind::NoAnswer:
            break;
    }
    return ShowTimedOut(window);
}

bool SignInAndLaunch(HWND window) {
    PendingApproval pending;
    const SignInStart start = StartSignIn(window, pending);
    if (start != SignInStart::AwaitApproval) return start == SignInStart::Launched;
    return FinishSignIn(window, WaitForApproval(pending, nullptr));
}

std::string MakeSignInVerifier() {
    unsigned char bytes[32];
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, sizeof(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        return std::string();
    }
    std::string verifier = EncodeBase64Url(bytes, sizeof(bytes));
    SecureZeroMemory(bytes, sizeof(bytes));
    return verifier;
}

SignInPollWait ReplaceSignInPollWait(SignInPollWait wait) {
    const SignInPollWait previous = g_pollWait;
    g_pollWait = wait;
    return previous;
}
