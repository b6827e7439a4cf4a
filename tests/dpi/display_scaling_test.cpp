#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/display_scaling.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/ui_resources.h"
#include "settings/settings_window.h"
#include "support/in_process_window.h"
#include "support/window_driver.h"

// The two windows at the display scaling of the Wine prefix this runs in: 96 DPI in the
// shared prefix, 144 and 192 in a prefix of their own (run_at_dpi.sh).

namespace {

UINT PrefixDpi() {
    const char* dpi = std::getenv("HOLLOWMERE_TEST_DPI");
    return dpi ? static_cast<UINT>(std::atoi(dpi)) : USER_DEFAULT_SCREEN_DPI;
}

int Scaled(int length) { return ScaleToDpi(length, PrefixDpi()); }

std::wstring DpiName(const wchar_t* window) { return std::wstring(window) + L"-" + std::to_wstring(PrefixDpi()) + L"dpi"; }

bool ClientIs(HWND window, int width96, int height96, UINT dpi) {
    const SIZE size = ClientSize(window);
    return size.cx == ScaleToDpi(width96, dpi) && size.cy == ScaleToDpi(height96, dpi);
}

// The room a button leaves its text, beside its box, frame or margins.
int TextRoom(HWND control, const wchar_t* className, int width) {
    if (lstrcmpiW(className, L"Button") != 0) return width;
    switch (GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK) {
        case BS_AUTOCHECKBOX:
            return width - Scaled(19);  // the box and the gap after it
        case BS_GROUPBOX:
            return width - Scaled(16);
        default:
            return width - Scaled(6);
    }
}

// Every label, button and box shows its text whole, in the font it is drawn with.
void ExpectTextsFit(HWND window) {
    int checked = 0;
    for (HWND control = GetWindow(window, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        wchar_t text[256] = {};
        GetClassNameW(control, className, 32);
        const int length = GetWindowTextW(control, text, 256);
        if (length == 0 || (lstrcmpiW(className, L"Static") != 0 && lstrcmpiW(className, L"Button") != 0)) continue;
        HDC dc = GetDC(control);
        HGDIOBJ before = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE size = {};
        GetTextExtentPoint32W(dc, text, length, &size);
        SelectObject(dc, before);
        ReleaseDC(control, dc);
        RECT client = {};
        GetClientRect(control, &client);
        EXPECT_LE(size.cx, TextRoom(control, className, client.right)) << testing::PrintToString(std::wstring(text));
        EXPECT_LE(size.cy, client.bottom) << testing::PrintToString(std::wstring(text));
        ++checked;
    }
    EXPECT_GT(checked, 8);
}

LONG FontHeight(HWND control) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font.lfHeight;
}

TEST(DisplayScaling, TheLauncherScalesBothWindowsByTheDisplayDpi) {
    ResetLauncherDataFolder();
    for (const wchar_t* arguments : {L"", L"--settings"}) {
        LauncherRun run;
        HWND window = StartLauncherWindow(run, arguments);
        ASSERT_NE(window, nullptr);
        const int height96 = *arguments ? kSettingsClientHeight : kMainClientHeight;
        EXPECT_TRUE(ClientIs(window, kWindowClientWidth, height96, PrefixDpi())) << ClientSize(window).cx;
        Sleep(1000);  // Wine hands a fresh paint to the X server a moment later
        SaveScreenshot(window, DpiName(*arguments ? L"settings-window" : L"main-window"));
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }
}

class MainWindowScaling : public InProcessMainWindow {};

TEST_F(MainWindowScaling, TextsFitAndTheLayoutFollowsADpiChange) {
    ASSERT_NE(OpenWindow(), nullptr);
    EXPECT_EQ(WindowDpi(window), PrefixDpi());
    EXPECT_TRUE(ClientIs(window, kWindowClientWidth, kMainClientHeight, PrefixDpi()));
    // The longest texts the status line shows.
    for (const wchar_t* status : {L"Unable to check updates. Check your internet connection.",
                                  L"Could not download the Hollowmere update manifest.",
                                  L"Downloading 99% \u00B7 1023 KB/s \u00B7 98 h 59 min left"}) {
        SetStatusText(status);
        ExpectTextsFit(window);
    }

    // Moved to a monitor of another scaling, and back.
    for (UINT dpi : {120u, PrefixDpi()}) {
        RECT frame = {};
        GetWindowRect(window, &frame);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
        EXPECT_TRUE(ClientIs(window, kWindowClientWidth, kMainClientHeight, dpi)) << dpi;
        const RECT action = ControlRect(window, IDC_MAIN_ACTION);
        EXPECT_EQ(action.left, ScaleToDpi(365, dpi)) << dpi;
        EXPECT_EQ(action.bottom - action.top, ScaleToDpi(43, dpi)) << dpi;
        EXPECT_EQ(FontHeight(GetDlgItem(window, IDC_STATUS)), ScaleToDpi(-13, dpi)) << dpi;
    }
}

TEST(SettingsWindowScaling, TextsFit) {
    if (!Ui().bodyFont) CreateUiResources(GetModuleHandleW(nullptr));
    UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr));
    ASSERT_TRUE(RegisterLauncherClass(GetModuleHandleW(nullptr), SettingsWindowProc));
    HWND window = CreateLauncherWindow(GetModuleHandleW(nullptr), kSettingsClientHeight);
    ASSERT_NE(window, nullptr);
    ExpectTextsFit(window);
    DestroyWindow(window);
    PumpMessages();
    UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr));
}

}  // namespace
