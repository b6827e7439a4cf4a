#include "play/sign_in.h"

#include <bcrypt.h>
#include <shellapi.h>

#include <cstdint>

#include "app/ui_resources.h"
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

constexpr std::uint32_t kStatusOk = 200;
constexpr std::uint32_t kStatusPending = 202;
constexpr std::uint32_t kStatusDeviceRefused = 403;

SignInPollWait g_pollWait = Sleep;

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

bool ShowSignInError(HWND window, const wchar_t* text) {
    MessageBoxW(window, text, kLauncherCaption, MB_ICONERROR);
    return false;
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

bool WaitForApproval(HWND window, const std::string& handle, const std::string& verifier) {
    const std::string body = BuildRedeemBody(handle, verifier);
    for (int attempt = 0; attempt < kRedeemMaxAttempts; ++attempt) {
        const ServiceReply reply = PostToService(kSignInRedeemPath, body);
        if (!reply.answered) return ShowTimedOut(window);
        if (reply.status == kStatusPending) {
            g_pollWait(kRedeemPollIntervalMs);
            continue;
        }
        if (reply.status == kStatusOk) return LaunchFromApproval(window, reply.body);
        std::string error;
        if (ExtractJsonStringStrict(reply.body, "error", error)) {
            // An error text that is empty or not UTF-8 would give a blank box.
            const std::wstring text = Utf8ToWide(error);
            if (!text.empty()) {
                MessageBoxW(window, text.c_str(), kLauncherCaption, MB_ICONWARNING);
                return false;
            }
        }
        return ShowTimedOut(window);
    }
    return ShowTimedOut(window);
}

bool SignInWithBrowser(HWND window) {
    const std::string verifier = MakeSignInVerifier();
    if (verifier.empty()) return ShowSignInError(window, kNoRandomMessage);

    const ServiceReply reply = PostToService(kSignInStartPath, BuildStartBody(verifier));
    if (!reply.answered || reply.status != kStatusOk) return ShowSignInError(window, kNoServiceMessage);
    std::string handle, authorizeUrl;
    if (!ExtractJsonStringStrict(reply.body, "handle", handle) ||
        !ExtractJsonStringStrict(reply.body, "authorize_url", authorizeUrl)) {
        return ShowSignInError(window, kInvalidReplyMessage);
    }
    if (!OpenInBrowser(window, Utf8ToWide(authorizeUrl))) return ShowSignInError(window, kNoBrowserMessage);

    // Polling starts only once the player has closed this box.
    MessageBoxW(window, kInstructionMessage, kSignInInstructionCaption, MB_OK | MB_ICONINFORMATION);
    return WaitForApproval(window, handle, verifier);
}

}  // namespace

bool SignInAndLaunch(HWND window) {
    bool launched = false;
    if (SignInWithSavedDevice(window, launched)) return launched;
    return SignInWithBrowser(window);
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
