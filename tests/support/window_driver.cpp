#include "support/window_driver.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "support/test_files.h"

namespace {

constexpr DWORD kPollMs = 50;

struct FindRequest {
    DWORD pid;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param) {
    auto* request = reinterpret_cast<FindRequest*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != request->pid) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, request->className) != 0) return TRUE;
    request->found = window;
    return FALSE;
}

HWND FindTopWindow(DWORD pid, const wchar_t* className) {
    FindRequest request = {pid, className, nullptr};
    EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&request));
    return request.found;
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

std::wstring ProcessImage(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return std::wstring();
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    std::wstring image;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) image.assign(path, size);
    CloseHandle(process);
    return image;
}

struct ImageRequest {
    std::wstring image;
    HWND found;
    DWORD pid;
};

BOOL CALLBACK FindWindowOfImage(HWND window, LPARAM param) {
    auto* request = reinterpret_cast<ImageRequest*>(param);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"HollowmereLauncherWindow") != 0) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    std::error_code error;
    if (!std::filesystem::equivalent(ProcessImage(owner), request->image, error) || error) return TRUE;
    request->found = window;
    request->pid = owner;
    return FALSE;
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
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        HWND window = FindTopWindow(pid, L"HollowmereLauncherWindow");
        if (window && IsWindowVisible(window)) return window;
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

HWND FindLauncherWindowOfImage(const std::wstring& imagePath, DWORD* pid) {
    ImageRequest request = {imagePath, nullptr, 0};
    EnumWindows(FindWindowOfImage, reinterpret_cast<LPARAM>(&request));
    if (pid) *pid = request.pid;
    return request.found;
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
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        HWND box = FindTopWindow(pid, L"#32770");
        if (box && IsWindowVisible(box)) {
            seen.box = box;
            seen.caption = WindowText(box);
            // 0xFFFF is the id of a message box's text control.
            seen.text = WindowText(GetDlgItem(box, 0xFFFF));
            return true;
        }
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
    return false;
}

bool NoMessageBoxFor(DWORD pid, DWORD milliseconds) {
    MessageBoxSeen seen;
    return !WaitForMessageBox(pid, milliseconds, seen);
}

void AnswerMessageBox(HWND box, int buttonId) {
    // Posted: a sent click would wait until the box has closed.
    PostMessageW(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (IsWindow(box) && GetTickCount64() < deadline) Sleep(kPollMs);
}

std::wstring WaitForControlText(HWND window, int controlId, const std::wstring& expected, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::wstring text;
    do {
        text = ReadControlText(window, controlId);
        if (text == expected) return text;
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
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

#include <commctrl.h>

namespace {

constexpr UINT kSendTimeoutMs = 5000;

LRESULT SendToControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

struct PositionRequest {
    HWND parent;
    const wchar_t* className;
    POINT topLeft;
    HWND found;
};

BOOL CALLBACK FindChildAtPosition(HWND child, LPARAM param) {
    auto* request = reinterpret_cast<PositionRequest*>(param);
    if (GetParent(child) != request->parent) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    if (lstrcmpiW(className, request->className) != 0) return TRUE;
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, request->parent, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.left != request->topLeft.x || rect.top != request->topLeft.y) return TRUE;
    request->found = child;
    return FALSE;
}

}  // namespace

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
    PositionRequest request = {window, className, {x, y}, nullptr};
    EnumChildWindows(window, FindChildAtPosition, reinterpret_cast<LPARAM>(&request));
    return request.found;
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

namespace {

struct OtherImageRequest {
    std::wstring image;
    DWORD exceptPid;
    HWND found;
    DWORD pid;
};

BOOL CALLBACK FindOtherWindowOfImage(HWND window, LPARAM param) {
    auto* request = reinterpret_cast<OtherImageRequest*>(param);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"HollowmereLauncherWindow") != 0 || !IsWindowVisible(window)) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == request->exceptPid) return TRUE;
    std::error_code error;
    if (!std::filesystem::equivalent(ProcessImage(owner), request->image, error) || error) return TRUE;
    request->found = window;
    request->pid = owner;
    return FALSE;
}

struct ChildTextRequest {
    const std::wstring* text;
    bool found;
};

BOOL CALLBACK FindChildWithText(HWND child, LPARAM param) {
    auto* request = reinterpret_cast<ChildTextRequest*>(param);
    if (WindowText(child) != *request->text) return TRUE;
    request->found = true;
    return FALSE;
}

}  // namespace

HWND WaitForOtherLauncherWindow(const std::wstring& imagePath, DWORD exceptPid, DWORD timeoutMs, DWORD* pid) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        OtherImageRequest request = {imagePath, exceptPid, nullptr, 0};
        EnumWindows(FindOtherWindowOfImage, reinterpret_cast<LPARAM>(&request));
        if (request.found) {
            if (pid) *pid = request.pid;
            return request.found;
        }
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

bool HasChildWithText(HWND window, const std::wstring& text) {
    ChildTextRequest request = {&text, false};
    EnumChildWindows(window, FindChildWithText, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

namespace {

BOOL CALLBACK FindIconControl(HWND child, LPARAM param) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Static") != 0) return TRUE;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

}  // namespace

BoxIcon ReadMessageBoxIcon(HWND box) {
    HWND control = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&control));
    if (!control) return BoxIcon::None;
    const HICON icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
    if (!icon || !IsWindowVisible(control)) return BoxIcon::None;
    if (icon == LoadIconW(nullptr, IDI_ERROR)) return BoxIcon::Error;
    if (icon == LoadIconW(nullptr, IDI_WARNING)) return BoxIcon::Warning;
    if (icon == LoadIconW(nullptr, IDI_INFORMATION)) return BoxIcon::Information;
    if (icon == LoadIconW(nullptr, IDI_QUESTION)) return BoxIcon::Question;
    return BoxIcon::Other;
}
