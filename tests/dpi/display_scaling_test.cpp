#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

#include "app/display_scaling.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/ui_resources.h"
#include "app/settings_window.h"
#include "support/client_package.h"
#include "support/in_process_window.h"
#include "support/window_driver.h"

// The two windows at 150 % display scaling: the prefix this runs in is set to 144 DPI
// (run_at_dpi.sh). Rounding at 150 % shows a length that is scaled twice or not at all.

namespace {

constexpr UINT kDpi = 144;

bool ClientIs(HWND window, int width96, int height96, UINT dpi) {
    const SIZE size = ClientSize(window);
    return size.cx == ScaleToDpi(width96, dpi) && size.cy == ScaleToDpi(height96, dpi);
}

// Every label, button and box shows its text whole, in the font it is drawn with, beside
// the box of a check box or the frame of a button.
void ExpectTextsFit(HWND window) {
    int checked = 0;
    for (HWND control = GetWindow(window, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        wchar_t className[32] = {}, text[256] = {};
        GetClassNameW(control, className, 32);
        const int length = GetWindowTextW(control, text, 256);
        const bool button = lstrcmpiW(className, L"Button") == 0;
        if (length == 0 || (!button && lstrcmpiW(className, L"Static") != 0)) continue;
        HDC dc = GetDC(control);
        HGDIOBJ before = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE size = {};
        GetTextExtentPoint32W(dc, text, length, &size);
        SelectObject(dc, before);
        ReleaseDC(control, dc);
        RECT client = {};
        GetClientRect(control, &client);
        EXPECT_LE(size.cx, client.right - (button ? ScaleToDpi(19, kDpi) : 0)) << ToUtf8(text);
        EXPECT_LE(size.cy, client.bottom) << ToUtf8(text);
        ++checked;
    }
    EXPECT_GT(checked, 8);
}

TEST(DisplayScaling, TheRealLauncherScalesBothWindows) {
    ResetLauncherDataFolder();
    for (const wchar_t* arguments : {L"", L"--settings"}) {
        LauncherRun run;
        HWND window = StartLauncherWindow(run, arguments);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(ClientIs(window, kWindowClientWidth, *arguments ? kSettingsClientHeight : kMainClientHeight, kDpi));
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }
}

class MainWindowScaling : public InProcessMainWindow {};

TEST_F(MainWindowScaling, TextsFitAndTheLayoutFollowsAMoveToAnotherScaling) {
    ASSERT_NE(OpenWindow(), nullptr);
    ASSERT_EQ(WindowDpi(window), kDpi);
    // The longest text the status line shows.
    SetStatusText(L"Downloading 99% \u00B7 1023 KB/s \u00B7 98 h 59 min left");
    ExpectTextsFit(window);
    for (UINT dpi : {120u, kDpi}) {
        RECT frame = {};
        GetWindowRect(window, &frame);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
        EXPECT_TRUE(ClientIs(window, kWindowClientWidth, kMainClientHeight, dpi)) << dpi;
        const RECT action = ControlRect(window, IDC_MAIN_ACTION);
        EXPECT_EQ(action.left, ScaleToDpi(365, dpi)) << dpi;
        EXPECT_EQ(action.bottom - action.top, ScaleToDpi(43, dpi)) << dpi;
        // The title (the first control) and the body text, each in its own font at this scaling.
        for (const auto& control : {std::make_pair(GetWindow(window, GW_CHILD), -20),
                                    std::make_pair(GetDlgItem(window, IDC_STATUS), -13)}) {
            LOGFONTW font = {};
            GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(control.first, WM_GETFONT, 0, 0)), sizeof(font), &font);
            EXPECT_EQ(font.lfHeight, ScaleToDpi(control.second, dpi)) << dpi;
        }
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
}

}  // namespace
