#pragma once
#include <windows.h>

#include <string>

// The Play flow's sign-in: trade the saved device token for a play ticket, or run the
// browser sign-in through the service, then start the client with the ticket.

constexpr const wchar_t* kSignInInstructionCaption = L"Hollowmere Discord Sign-in";
constexpr DWORD kRedeemPollIntervalMs = 2000;
constexpr int kRedeemMaxAttempts = 75;

// The flow in three steps, so that the wait for approval can run off the window's thread.
// The browser sign-in's request, once the service has taken it and the browser shows it.
struct PendingApproval {
    std::string handle;
    std::string verifier;
};
enum class SignInStart { Launched, Failed, AwaitApproval };
// On the window's thread: the saved device, or else the browser sign-in up to its
// instruction box. Every failure has been shown in a box owned by window.
SignInStart StartSignIn(HWND window, PendingApproval& pending);

struct ApprovalAnswer {
    enum class Kind { NoAnswer, Approved, Refused, Stopped };
    Kind kind = Kind::NoAnswer;  // NoAnswer also when 75 polls stayed pending
    std::string body;            // the approval, or the refusal
};
// Polls the service (75 times at most, 2000 ms after each pending reply) on any thread,
// showing nothing. stop, a manual-reset event (or null), ends the wait at once: no poll
// follows once it is set.
ApprovalAnswer WaitForApproval(const PendingApproval& pending, HANDLE stop);
// On the window's thread: starts the client with an approval, or shows why not. True
// only when the client was started.
bool FinishSignIn(HWND window, const ApprovalAnswer& answer);

// The three steps on the calling thread. True only when the client was started.
bool SignInAndLaunch(HWND window);

// 32 bytes from the system's random number generator in base64url without padding
// (43 characters); empty when the system supplies no random bytes.
std::string MakeSignInVerifier();

// The wait after a pending redeem reply, true when stop was set meanwhile: a wait on stop
// in the product. Tests put a recorder in its place so that a run of 75 pending replies
// does not take 150 seconds. Returns the wait that was in place.
using SignInPollWait = bool(WINAPI*)(HANDLE stop, DWORD milliseconds);
SignInPollWait ReplaceSignInPollWait(SignInPollWait wait);
