#include "support/window_driver.h"

#include <filesystem>

#include "app/main_window.h"
#include "support/test_files.h"

namespace {

constexpr const wchar_t* kLauncherClass = L"HollowmereLauncherWindow";

DWORD ProcessOf(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner;
}

// A visible top-level window of the class whose process passes processMatches, after waiting.
HWND WaitForTopWindow(const wchar_t* className, const std::function<bool(DWORD)>& processMatches, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            while ((found = FindWindowExW(nullptr, found, className, nullptr)) != nullptr)
                if (IsWindowVisible(found) && processMatches(ProcessOf(found))) return true;
            return false;
        },
        timeoutMs);
    return found;
}

// Window texts here are status lines, captions and box texts, far below this room.
std::wstring WindowText(HWND window) {
    std::wstring text(4096, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

bool IsProcessOfImage(DWORD pid, const std::wstring& image) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    const bool named = process && QueryFullProcessImageNameW(process, 0, path, &size);
    if (process) CloseHandle(process);
    std::error_code error;
    return named && std::filesystem::equivalent(std::wstring(path, size), image, error) && !error;
}

}  // namespace

LauncherRun::~LauncherRun() {
    // Ending a process that has ended already fails, and does no harm.
    if (process && TerminateProcess(process, 99)) WaitForSingleObject(process, 5000);
    if (process) CloseHandle(process);
}

bool StartLauncher(const std::wstring& arguments, LauncherRun& run, const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    run.process = info.hProcess;
    run.pid = info.dwProcessId;
    return true;
}

DWORD WaitForExit(const LauncherRun& run, DWORD timeoutMs) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(run.process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(run.process, &code);
    return code;
}

HWND WaitForLauncherWindow(DWORD pid, DWORD timeoutMs) {
    return WaitForTopWindow(kLauncherClass, [pid](DWORD owner) { return owner == pid; }, timeoutMs);
}

HWND WaitForLauncherOf(const std::wstring& image, DWORD exceptPid, LauncherRun& run, DWORD timeoutMs) {
    HWND found = WaitForTopWindow(
        kLauncherClass, [&](DWORD owner) { return owner != exceptPid && IsProcessOfImage(owner, image); }, timeoutMs);
    if (!found) return nullptr;
    run.pid = ProcessOf(found);
    run.process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, run.pid);
    return run.process ? found : nullptr;
}

HWND StartLauncherWindow(LauncherRun& run, const std::wstring& arguments, const std::wstring& exe) {
    HWND window = StartLauncher(arguments, run, exe) ? WaitForLauncherWindow(run.pid, 20000) : nullptr;
    // The main window shows before its update check has ended; the settings form has no status.
    if (window && !WaitUntil([&] { return ReadControlText(window, IDC_STATUS) != L"Checking for updates..."; }, 30000))
        return nullptr;
    return window;
}

DWORD CloseLauncher(HWND window, const LauncherRun& run) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitForExit(run, 10000);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(10);
    }
    return true;
}

std::wstring ReadControlText(HWND window, int controlId) { return WindowText(GetDlgItem(window, controlId)); }

void ClickControl(HWND window, int controlId) { PostMessageW(GetDlgItem(window, controlId), BM_CLICK, 0, 0); }

bool IsControlEnabled(HWND window, int controlId) { return IsWindowEnabled(GetDlgItem(window, controlId)) != FALSE; }

RECT ControlRect(HWND window, int controlId) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(window, controlId), &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

SIZE ClientSize(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring WaitForControlText(HWND window, int controlId, const std::wstring& expected, DWORD timeoutMs) {
    std::wstring text;
    WaitUntil([&] { return (text = ReadControlText(window, controlId)) == expected; }, timeoutMs);
    return text;
}

bool WaitForMessageBox(DWORD pid, DWORD timeoutMs, MessageBoxSeen& seen) {
    seen.box = WaitForTopWindow(L"#32770", [pid](DWORD owner) { return owner == pid; }, timeoutMs);
    if (!seen.box) return false;
    seen.caption = WindowText(seen.box);
    seen.text = WindowText(GetDlgItem(seen.box, 0xFFFF));  // the id of a message box's text control
    return true;
}

bool NoMessageBoxFor(DWORD pid, DWORD milliseconds) {
    MessageBoxSeen seen;
    return !WaitForMessageBox(pid, milliseconds, seen);
}

void AnswerMessageBox(HWND box, int buttonId) {
    // Posted: a sent click would wait until the box has closed.
    PostMessageW(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
    WaitUntil([box] { return !IsWindow(box); }, 5000);
}

std::wstring PressAndAnswer(HWND window, DWORD pid, int controlId, int answer) {
    ClickControl(window, controlId);
    MessageBoxSeen box;
    if (!WaitForMessageBox(pid, 10000, box)) return L"(no box)";
    AnswerMessageBox(box.box, answer);
    return box.text;
}

BoxIcon ReadMessageBoxIcon(HWND box) {
    HICON icon = nullptr;
    for (HWND child = nullptr; !icon && (child = FindWindowExW(box, child, L"Static", nullptr)) != nullptr;)
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
            icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    const LPCWSTR standard[] = {IDI_ERROR, IDI_WARNING, IDI_INFORMATION, IDI_QUESTION};  // in BoxIcon's order
    for (int i = 0; i < 4; ++i)
        if (icon && icon == LoadIconW(nullptr, standard[i])) return static_cast<BoxIcon>(i + 1);
    return icon ? BoxIcon::Other : BoxIcon::None;
}
