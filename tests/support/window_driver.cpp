#include "support/window_driver.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "support/test_files.h"

namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr const wchar_t* kLauncherClass = L"HollowmereLauncherWindow";

// The first top-level window (or child of parent) for which match holds.
HWND FindWindowWhere(const std::function<bool(HWND)>& match, HWND parent = nullptr) {
    struct Search {
        const std::function<bool(HWND)>* match;
        HWND found;
    } search = {&match, nullptr};
    const WNDENUMPROC visit = [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (!(*s->match)(window)) return TRUE;
        s->found = window;
        return FALSE;
    };
    if (parent) {
        EnumChildWindows(parent, visit, reinterpret_cast<LPARAM>(&search));
    } else {
        EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

bool HasClass(HWND window, const wchar_t* className) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return lstrcmpiW(name, className) == 0;
}

DWORD ProcessOf(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner;
}

HWND FindTopWindow(DWORD pid, const wchar_t* className) {
    return FindWindowWhere([&](HWND window) { return ProcessOf(window) == pid && HasClass(window, className); });
}

// The length and the text are two requests, and a text that grows in between would come
// back cut short: a text that fills the buffer is asked for again with more room.
std::wstring WindowText(HWND window) {
    int room = GetWindowTextLengthW(window) + 64;
    for (;;) {
        std::wstring text(static_cast<size_t>(room) + 1, L'\0');
        const int copied = GetWindowTextW(window, &text[0], room + 1);
        if (copied < room || room >= (1 << 20)) {
            text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
            return text;
        }
        room *= 2;
    }
}

bool IsProcessOfImage(DWORD pid, const std::wstring& image) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return false;
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &size) != FALSE;
    CloseHandle(process);
    std::error_code error;
    return named && std::filesystem::equivalent(std::wstring(path, size), image, error) && !error;
}

// A launcher window of a process started from image, other than exceptPid.
HWND FindLauncherOfImage(const std::wstring& image, DWORD exceptPid, bool visibleOnly, DWORD* pid) {
    HWND found = FindWindowWhere([&](HWND window) {
        return HasClass(window, kLauncherClass) && (!visibleOnly || IsWindowVisible(window)) &&
               ProcessOf(window) != exceptPid && IsProcessOfImage(ProcessOf(window), image);
    });
    if (pid) *pid = found ? ProcessOf(found) : 0;
    return found;
}

LRESULT SendToControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

}  // namespace

LauncherRun::~LauncherRun() {
    if (!process) return;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}

bool StartLauncher(const std::wstring& arguments, LauncherRun& run, const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    run.process = info.hProcess;
    run.pid = info.dwProcessId;
    return true;
}

DWORD WaitForExit(const LauncherRun& run, DWORD timeoutMs) {
    if (WaitForSingleObject(run.process, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(run.process, &code);
    return code;
}

HWND WaitForLauncherWindow(DWORD pid, DWORD timeoutMs) {
    HWND window = nullptr;
    const bool shown = WaitUntil(
        [&] { return (window = FindTopWindow(pid, kLauncherClass)) != nullptr && IsWindowVisible(window); },
        timeoutMs);
    return shown ? window : nullptr;
}

HWND FindLauncherWindow(DWORD pid) { return FindTopWindow(pid, kLauncherClass); }

HWND FindLauncherWindowOfImage(const std::wstring& imagePath, DWORD* pid) {
    return FindLauncherOfImage(imagePath, 0, false, pid);
}

HWND WaitForLauncherWindowOfImage(const std::wstring& imagePath, DWORD& pid, DWORD timeoutMs) {
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindLauncherWindowOfImage(imagePath, &pid)) != nullptr; }, timeoutMs);
    return window;
}

HWND StartLauncherWindow(LauncherRun& run, const std::wstring& arguments, const std::wstring& exe) {
    if (!StartLauncher(arguments, run, exe)) return nullptr;
    return WaitForLauncherWindow(run.pid, 20000);
}

DWORD CloseLauncher(HWND window, const LauncherRun& run) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitForExit(run, 10000);
}

bool CloseLauncherOfProcess(HWND window, DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!process) return false;
    const bool ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process, 99);
    CloseHandle(process);
    return ended;
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

void SetControlText(HWND window, int controlId, const std::wstring& text) {
    SendMessageW(GetDlgItem(window, controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ClickControl(HWND window, int controlId) { PostMessageW(GetDlgItem(window, controlId), BM_CLICK, 0, 0); }

bool IsControlEnabled(HWND window, int controlId) { return IsWindowEnabled(GetDlgItem(window, controlId)) != FALSE; }

bool IsControlVisible(HWND window, int controlId) { return IsWindowVisible(GetDlgItem(window, controlId)) != FALSE; }

RECT ControlRect(HWND window, int controlId) {
    RECT rect = {};
    HWND control = GetDlgItem(window, controlId);
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool WaitForMessageBox(DWORD pid, DWORD timeoutMs, MessageBoxSeen& seen) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindTopWindow(pid, L"#32770")) != nullptr && IsWindowVisible(box); },
                   timeoutMs)) {
        return false;
    }
    seen.box = box;
    seen.caption = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, 0xFFFF));  // the id of a message box's text control
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

std::wstring WaitForControlText(HWND window, int controlId, const std::wstring& expected, DWORD timeoutMs) {
    std::wstring text;
    WaitUntil([&] { return (text = ReadControlText(window, controlId)) == expected; }, timeoutMs);
    return text;
}

bool SaveScreenshot(HWND window, const std::wstring& name) {
    RECT rect = {};
    if (!GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        SelectObject(memory, old);
        const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
        const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        file.bfSize = file.bfOffBits + imageBytes;
        info.bmiHeader.biSizeImage = imageBytes;
        const std::wstring path = BuildPath(L"screenshots/" + name + L".bmp");
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
        std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(&file), sizeof(file));
        out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
        out.write(static_cast<const char*>(bits), imageBytes);
        out.close();
        saved = static_cast<bool>(out);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

bool IsControlChecked(HWND window, int controlId) {
    return SendToControl(GetDlgItem(window, controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetControlChecked(HWND window, int controlId, bool checked) {
    if (IsControlChecked(window, controlId) == checked) return;
    // Sent, not posted: the click and the parent's handling of it are done on return.
    SendToControl(GetDlgItem(window, controlId), BM_CLICK, 0, 0);
}

int ComboSelection(HWND window, int controlId) {
    return static_cast<int>(SendToControl(GetDlgItem(window, controlId), CB_GETCURSEL, 0, 0));
}

int ComboItemCount(HWND window, int controlId) {
    return static_cast<int>(SendToControl(GetDlgItem(window, controlId), CB_GETCOUNT, 0, 0));
}

std::wstring ComboItemText(HWND window, int controlId, int index) {
    HWND combo = GetDlgItem(window, controlId);
    const LRESULT length = SendToControl(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendToControl(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void SelectComboItem(HWND window, int controlId, int index) {
    HWND combo = GetDlgItem(window, controlId);
    SendToControl(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendToControl(window, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

int SliderPosition(HWND window, int controlId) {
    return static_cast<int>(SendToControl(GetDlgItem(window, controlId), TBM_GETPOS, 0, 0));
}

void MoveSlider(HWND window, int controlId, int position) {
    HWND slider = GetDlgItem(window, controlId);
    SendToControl(slider, TBM_SETPOS, TRUE, position);
    SendToControl(window, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(slider));
}

HWND FindControlAt(HWND window, const wchar_t* className, int x, int y) {
    return FindWindowWhere(
        [&](HWND child) {
            if (GetParent(child) != window || !HasClass(child, className)) return false;
            RECT rect = {};
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            return rect.left == x && rect.top == y;
        },
        window);
}

std::wstring ReadEditText(HWND window, int controlId) {
    HWND control = GetDlgItem(window, controlId);
    const LRESULT length = SendToControl(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const LRESULT copied =
        SendToControl(control, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::wstring ReadTextAt(HWND window, int x, int y) {
    HWND child = ChildWindowFromPointEx(window, POINT{x, y}, CWP_SKIPINVISIBLE);
    if (!child || child == window) return std::wstring();
    return WindowText(child);
}

SIZE ClientSize(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

HWND WaitForOtherLauncherWindow(const std::wstring& imagePath, DWORD exceptPid, DWORD timeoutMs, DWORD* pid) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindLauncherOfImage(imagePath, exceptPid, true, pid)) != nullptr; }, timeoutMs);
    return found;
}

bool HasChildWithText(HWND window, const std::wstring& text) {
    return FindWindowWhere([&](HWND child) { return WindowText(child) == text; }, window) != nullptr;
}

BoxIcon ReadMessageBoxIcon(HWND box) {
    HWND control = FindWindowWhere(
        [](HWND child) {
            return HasClass(child, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        },
        box);
    if (!control) return BoxIcon::None;
    const HICON icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
    if (!icon || !IsWindowVisible(control)) return BoxIcon::None;
    if (icon == LoadIconW(nullptr, IDI_ERROR)) return BoxIcon::Error;
    if (icon == LoadIconW(nullptr, IDI_WARNING)) return BoxIcon::Warning;
    if (icon == LoadIconW(nullptr, IDI_INFORMATION)) return BoxIcon::Information;
    if (icon == LoadIconW(nullptr, IDI_QUESTION)) return BoxIcon::Question;
    return BoxIcon::Other;
}
