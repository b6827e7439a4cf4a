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
// Starts the launcher and waits for its window; null when either fails.
HWND StartLauncherWindow(LauncherRun& run, const std::wstring& arguments = L"",
                         const std::wstring& exe = HOLLOWMERE_TEST_LAUNCHER_EXE);
// Closes the window and returns the process's exit code (STILL_ACTIVE when it went on).
DWORD CloseLauncher(HWND window, const LauncherRun& run);
// The same for a launcher process the test did not start itself: false when it had to
// be ended by force.
bool CloseLauncherOfProcess(HWND window, DWORD pid);
// Polls until done() holds; false after the time-out.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The top-level "HollowmereLauncherWindow" of the process, or null after the time-out.
HWND WaitForLauncherWindow(DWORD pid, DWORD timeoutMs);
// The launcher window of the process, visible or not (it is hidden while being created).
HWND FindLauncherWindow(DWORD pid);
// The top-level launcher window of any process whose executable is imagePath.
HWND FindLauncherWindowOfImage(const std::wstring& imagePath, DWORD* pid = nullptr);
// Waits for such a window; null after the time-out.
HWND WaitForLauncherWindowOfImage(const std::wstring& imagePath, DWORD& pid, DWORD timeoutMs = 20000);

std::wstring ReadControlText(HWND window, int controlId);
void SetControlText(HWND window, int controlId, const std::wstring& text);
// Posts a click, so a box the click opens does not block the test.
void ClickControl(HWND window, int controlId);
bool IsControlEnabled(HWND window, int controlId);
bool IsControlVisible(HWND window, int controlId);
// The control's rectangle in the client coordinates of window.
RECT ControlRect(HWND window, int controlId);

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

// Waits until the control's text equals expected; returns the last text seen.
std::wstring WaitForControlText(HWND window, int controlId, const std::wstring& expected, DWORD timeoutMs);

// Saves the window's area of the screen as build/screenshots/<name>.bmp.
bool SaveScreenshot(HWND window, const std::wstring& name);

// Check boxes, lists and sliders of another process, and controls without an id.
bool IsControlChecked(HWND window, int controlId);
// Clicks the check box when its state differs; returns after the window has handled the click.
void SetControlChecked(HWND window, int controlId, bool checked);
// The selected index of a combo box, or -1 when nothing is selected.
int ComboSelection(HWND window, int controlId);
int ComboItemCount(HWND window, int controlId);
std::wstring ComboItemText(HWND window, int controlId, int index);
// Selects an item (-1 for none) and sends the parent the CBN_SELCHANGE that
// CB_SETCURSEL alone does not send.
void SelectComboItem(HWND window, int controlId, int index);
int SliderPosition(HWND window, int controlId);
// Moves a trackbar and sends the parent the WM_HSCROLL a drag would.
void MoveSlider(HWND window, int controlId, int position);
// The child of the class whose top-left corner is at (x, y) in window's client coordinates.
HWND FindControlAt(HWND window, const wchar_t* className, int x, int y);
// The text of another process's edit control, asked of the control itself: GetWindowTextW
// across processes gives the text the control was created with, not what it shows now.
std::wstring ReadEditText(HWND window, int controlId);

// The text of the child control covering a client point of window; for controls
// without an id of their own.
std::wstring ReadTextAt(HWND window, int x, int y);
// The client area's width and height.
SIZE ClientSize(HWND window);
// Waits for a visible launcher window of another process started from imagePath.
HWND WaitForOtherLauncherWindow(const std::wstring& imagePath, DWORD exceptPid, DWORD timeoutMs,
                                DWORD* pid = nullptr);
// True when a direct child of window shows exactly text.
bool HasChildWithText(HWND window, const std::wstring& text);

// The standard icon of a message box. System icons are told apart by their shared
// handles, which only holds for boxes of the calling process (in-process tests).
enum class BoxIcon { None, Error, Warning, Information, Question, Other };
BoxIcon ReadMessageBoxIcon(HWND box);
