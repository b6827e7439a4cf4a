#include "support/in_process_window.h"

#include <commctrl.h>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/ui_resources.h"
#include "state/launcher_config.h"

void PumpMessages() {
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
        if (message.message == WM_QUIT) continue;  // left by a window destroyed earlier
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    return WaitUntil([&] { PumpMessages(); return done(); }, timeoutMs);
}

std::future<std::vector<BoxSeen>> AnswerBoxes(std::vector<int> buttons) {
    return std::async(std::launch::async, [buttons] {
        std::vector<BoxSeen> seen;
        MessageBoxSeen box;
        while (seen.size() < buttons.size() && WaitForMessageBox(GetCurrentProcessId(), 10000, box)) {
            seen.push_back({box.caption, box.text, GetWindow(box.box, GW_OWNER), ReadMessageBoxIcon(box.box)});
            AnswerMessageBox(box.box, buttons[seen.size() - 1]);
        }
        return seen;
    });
}

std::vector<BoxSeen> PumpUntilAnswered(std::future<std::vector<BoxSeen>>& answers) {
    PumpUntil([&] { return answers.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }, INFINITE);
    PumpMessages();  // what the last answer brought
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
    CleanWorld::SetUp();
    ASSERT_TRUE(WriteInstallPath(folder.path));
}

void InProcessMainWindow::TearDown() {
    if (window && IsWindow(window)) DestroyWindow(window);
    PumpMessages();
    CleanWorld::TearDown();
}

HWND InProcessMainWindow::OpenWindow() {
    window = CreateLauncherWindow(GetModuleHandleW(nullptr), kMainClientHeight);
    if (window) ShowWindow(window, SW_SHOW);
    // Until the update check's result has been taken.
    PumpUntil([] { return MainWindow().work != WindowWork::CheckingForUpdates; }, 30000);
    return window;
}
