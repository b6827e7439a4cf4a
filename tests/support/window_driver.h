#pragma once
#include <windows.h>

#include <functional>
#include <string>

// Drives a launcher process from outside through Win32 only, as a player would:
// find its window, read and set control texts, click, read and answer its boxes.

struct LauncherRun {
    HANDLE process = nullptr;
    DWORD pid = 0;
    LauncherRun() = default;
    LauncherRun(const LauncherRun&) = delete;
    LauncherRun& operator=(const LauncherRun&) = delete;
    // Ends a process the test left running, so one failure does not leak into the next test.
    ~LauncherRun();
};

// Starts exe (the built launcher by default) with the given argument text.
bool StartLauncher(const std::wstring& arguments, LauncherRun& run,
                   const std::wstring& exe = HOLLOWMERE_TEST_LAUNCHER_EXE);
// The exit code, or STILL_ACTIVE when the process did not end in time.
DWORD WaitForExit(const LauncherRun& run, DWORD timeoutMs);
// Starts the launcher and waits for its window and, for the main window, for its update
// check to end; null when any of them fails.
HWND StartLauncherWindow(LauncherRun& run, const std::wstring& arguments = L"",
                         const std::wstring& exe = HOLLOWMERE_TEST_LAUNCHER_EXE);
// Closes the window and returns the process's exit code (STILL_ACTIVE when it went on).
DWORD CloseLauncher(HWND window, const LauncherRun& run);
// Polls until done() holds; false after the time-out.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The visible top-level "HollowmereLauncherWindow" of the process, or null after the time-out.
HWND WaitForLauncherWindow(DWORD pid, DWORD timeoutMs);
// Waits for a visible launcher window of a process the test did not start itself, started
// from image and other than exceptPid, and takes that process into run.
HWND WaitForLauncherOf(const std::wstring& image, DWORD exceptPid, LauncherRun& run, DWORD timeoutMs = 20000);

std::wstring ReadControlText(HWND window, int controlId);
// Posts a click, so a box the click opens does not block the test.
void ClickControl(HWND window, int controlId);
bool IsControlEnabled(HWND window, int controlId);
// The control's rectangle in the client coordinates of window.
RECT ControlRect(HWND window, int controlId);
// The client area's width and height.
SIZE ClientSize(HWND window);
// Waits until the control's text equals expected; returns the last text seen.
std::wstring WaitForControlText(HWND window, int controlId, const std::wstring& expected, DWORD timeoutMs);

struct MessageBoxSeen {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
};
// Waits for a message box (class "#32770") of the process.
bool WaitForMessageBox(DWORD pid, DWORD timeoutMs, MessageBoxSeen& seen);
// True when no message box of the process appears within the time.
bool NoMessageBoxFor(DWORD pid, DWORD milliseconds);
// Presses a button of the box (IDOK, IDYES, IDNO, ...).
void AnswerMessageBox(HWND box, int buttonId);
// Clicks a control of the window, answers the box it opens and returns what the box
// said ("(no box)" when none came).
std::wstring PressAndAnswer(HWND window, DWORD pid, int controlId, int answer);

// The standard icon of a message box. System icons are told apart by their shared
// handles, which only holds for boxes of the calling process (in-process tests).
enum class BoxIcon { None, Error, Warning, Information, Question, Other };
BoxIcon ReadMessageBoxIcon(HWND box);
