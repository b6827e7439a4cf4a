#include "support/in_process_window.h"

#include <commctrl.h>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/ui_resources.h"
#include "state/launcher_config.h"

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;  // left by a window destroyed earlier
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        PumpMessages();
        Sleep(10);
    }
    return true;
}

std::future<std::vector<BoxSeen>> AnswerBoxes(std::vector<int> buttons) {
    return std::async(std::launch::async, [buttons] {
        std::vector<BoxSeen> seen;
        for (int button : buttons) {
            MessageBoxSeen box;
            if (!WaitForMessageBox(GetCurrentProcessId(), 10000, box)) break;
            seen.push_back({box.caption, box.text, GetWindow(box.box, GW_OWNER), ReadMessageBoxIcon(box.box)});
            AnswerMessageBox(box.box, button);
        }
        return seen;
    });
}

std::vector<BoxSeen> PumpUntilAnswered(std::future<std::vector<BoxSeen>>& answers) {
    while (answers.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) PumpMessages();
    PumpMessages();
    return answers.get();
}

void InProcessMainWindow::SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (!Ui().bodyFont) CreateUiResources(GetModuleHandleW(nullptr));
    // Other in-process tests may have registered the class with another procedure.
    UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr));
    ASSERT_TRUE(RegisterLauncherClass(GetModuleHandleW(nullptr), MainWindowProc));
}

void InProcessMainWindow::TearDownTestSuite() { UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr)); }

void InProcessMainWindow::SetUp() {
    ResetLauncherDataFolder();
    ASSERT_TRUE(WriteInstallPath(folder.path));
}

void InProcessMainWindow::TearDown() {
    if (window && IsWindow(window)) DestroyWindow(window);
    PumpMessages();
    ResetLauncherDataFolder();
}

HWND InProcessMainWindow::OpenWindow() {
    window = CreateLauncherWindow(GetModuleHandleW(nullptr), kMainClientHeight);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        PumpMessages();
    }
    return window;
}
