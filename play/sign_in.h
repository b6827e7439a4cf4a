#pragma once
#include <windows.h>

#include <string>

// The Play flow's sign-in: trade the saved device token for a play ticket, or run the
// browser sign-in through the service, then start the client with the ticket.

constexpr const wchar_t* kSignInInstructionCaption = L"Hollowmere Discord Sign-in";
constexpr DWORD kRedeemPollIntervalMs = 2000;
constexpr int kRedeemMaxAttempts = 75;

// Signs in and starts the client. True only when the client was started; every
// failure has been shown in a box owned by window. Blocks the calling (UI) thread,
// for at most 75 polls with 2000 ms after each pending one.
bool SignInAndLaunch(HWND window);

// 32 bytes from the system's random number generator in base64url without padding
// (43 characters); empty when the system supplies no random bytes.
std::string MakeSignInVerifier();

// The wait after a pending redeem reply: Sleep in the product. Tests put a recorder in
// its place so that a run of 75 pending replies does not take 150 seconds. Returns the
// wait that was in place.
using SignInPollWait = void(WINAPI*)(DWORD milliseconds);
SignInPollWait ReplaceSignInPollWait(SignInPollWait wait);
