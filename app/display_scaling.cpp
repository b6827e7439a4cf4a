#include "app/display_scaling.h"

#include <commctrl.h>

#include <cstdint>

#include "app/ui_resources.h"

namespace {

constexpr UINT kLayoutDpi = USER_DEFAULT_SCREEN_DPI;

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// Looked up at run time: older Windows lacks them, and so does MinGW's import library.
FARPROC User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? GetProcAddress(user32, name) : nullptr;
}

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

// The 96-DPI rectangle of a window (its client size for the top-level window), kept
// as a window property: x, y, width and height in 16 bits each, with a mark bit so a
// rectangle at the origin is still told from none.
ATOM LayoutProperty() {
    static const ATOM atom = GlobalAddAtomW(L"Hollowmere.Layout96");
    return atom;
}

constexpr std::uint64_t kLayoutMark = std::uint64_t{1} << 63;

RECT RememberedLayout(HWND window, const RECT& current) {
    const auto stored = reinterpret_cast<std::uint64_t>(GetPropW(window, MAKEINTATOM(LayoutProperty())));
    if (!(stored & kLayoutMark)) {
        const auto part = [](LONG value) { return static_cast<std::uint64_t>(value) & 0x7FFF; };
        const std::uint64_t packed = kLayoutMark | part(current.left) << 45 | part(current.top) << 30 |
                                     part(current.right - current.left) << 15 | part(current.bottom - current.top);
        SetPropW(window, MAKEINTATOM(LayoutProperty()), reinterpret_cast<HANDLE>(packed));
        return current;
    }
    const auto part = [stored](int shift) { return static_cast<LONG>((stored >> shift) & 0x7FFF); };
    const LONG left = part(45);
    const LONG top = part(30);
    return RECT{left, top, left + part(15), top + part(0)};
}

RECT ScaleRect(const RECT& rect, UINT dpi) {
    const int left = ScaleToDpi(rect.left, dpi);
    const int top = ScaleToDpi(rect.top, dpi);
    return RECT{left, top, left + ScaleToDpi(rect.right - rect.left, dpi), top + ScaleToDpi(rect.bottom - rect.top, dpi)};
}

void PlaceWindow(HWND window, const RECT& client96, UINT dpi, const RECT* suggested) {
    const int clientWidth = ScaleToDpi(client96.right, dpi);
    const int clientHeight = ScaleToDpi(client96.bottom, dpi);
    RECT frame = {0, 0, clientWidth, clientHeight};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const DWORD extendedStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    static const auto adjustForDpi =
        reinterpret_cast<AdjustWindowRectExForDpiFunction>(User32Function("AdjustWindowRectExForDpi"));
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, extendedStyle, dpi)) {
        AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
    }
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT now = {};
    GetWindowRect(window, &now);
    // Around the old centre; where Windows proposes a place for the new DPI, there.
    int left = (now.left + now.right - width) / 2;
    int top = (now.top + now.bottom - height) / 2;
    if (suggested) {
        left = suggested->left;
        top = suggested->top;
    }
    SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame's estimate can miss by a few pixels (a caption drawn at another DPI than
    // asked for); the client area decides.
    RECT client = {};
    GetClientRect(window, &client);
    const int missingWidth = clientWidth - client.right;
    const int missingHeight = clientHeight - client.bottom;
    if (missingWidth != 0 || missingHeight != 0) {
        SetWindowPos(window, nullptr, 0, 0, width + missingWidth, height + missingHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
}

}  // namespace

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(User32Function("GetDpiForWindow"));
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi > 0 ? dpi : SystemDpi();
}

int ScaleToDpi(int length, UINT dpi) { return MulDiv(length, static_cast<int>(dpi), kLayoutDpi); }

void LayOutForDpi(HWND window, UINT dpi, const RECT* suggested) {
    RECT client = {};
    GetClientRect(window, &client);
    const RECT client96 = RememberedLayout(window, client);

    const UiFonts old = SetUiFontsForDpi(dpi);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect = {};
        GetWindowRect(child, &rect);
        // A drop-down list's rectangle includes its open list; its window is only the closed box.
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, WC_COMBOBOXW) == 0) SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rect));
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        const RECT scaled = ScaleRect(RememberedLayout(child, rect), dpi);
        MoveWindow(child, scaled.left, scaled.top, scaled.right - scaled.left, scaled.bottom - scaled.top, TRUE);
        if (old.body || old.title) {
            const auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
            HFONT now = font == old.title ? Ui().titleFont : Ui().bodyFont;
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(now), TRUE);
        }
    }
    // No control uses the old fonts any more.
    if (old.body) DeleteObject(old.body);
    if (old.title) DeleteObject(old.title);
    PlaceWindow(window, client96, dpi, suggested);
}
