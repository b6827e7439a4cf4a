#include "app/startup.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "app/launch_mode.h"
#include "app/main_window.h"
#include "app/ui_resources.h"
#include "resources/resource_ids.h"
#include "settings/font_settings.h"
#include "app/settings_window.h"
#include "state/kernel_handle.h"
#include "update/self_update.h"

namespace {

constexpr DWORD kOldLauncherWaitMs = 30000;
// One launcher window at a time for this user's session: two would download into the
// same partial file and unpack into the same folder.
constexpr const wchar_t* kMainModeMutexName = L"Local\\HollowmereSarnholdLauncher";
constexpr DWORD kRunningWindowWaitMs = 5000;
constexpr DWORD kRunningWindowPollMs = 100;

// Owns the array CommandLineToArgvW returns.
struct ArgvHolder {
    LPWSTR* items = nullptr;
    ~ArgvHolder() {
        if (items) LocalFree(items);
    }
};

// The settings form has the same window class; only the main window has a folder box.
BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wcscmp(className, kWindowClassName) != 0 || !GetDlgItem(window, IDC_INSTALL_PATH)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The running launcher may still be checking for updates, with its window not yet shown.
void BringRunningLauncherForward() {
    for (DWORD waited = 0; waited < kRunningWindowWaitMs; waited += kRunningWindowPollMs) {
        HWND running = nullptr;
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&running));
        if (running && IsWindowVisible(running)) {
            if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
            SetForegroundWindow(running);
            return;
        }
        Sleep(kRunningWindowPollMs);
    }
}

int RunMessageLoop(HWND window) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int RunWindowMode(HINSTANCE instance, int showCommand, LaunchMode mode) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CreateUiResources(instance);

    const bool settings = mode == LaunchMode::Settings;
    if (!RegisterLauncherClass(instance, settings ? SettingsWindowProc : MainWindowProc)) {
        MessageBoxW(nullptr, L"Could not initialize the settings window.", kLauncherCaption, MB_ICONERROR);
        DestroyUiResources();
        return 3;
    }
    HWND window = CreateLauncherWindow(instance, settings ? kSettingsClientHeight : kMainClientHeight);
    if (!window) {
        MessageBoxW(nullptr, L"Could not create the settings window.", kLauncherCaption, MB_ICONERROR);
        DestroyUiResources();
        return 4;
    }
    Ui().mainWindow = window;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    const int code = RunMessageLoop(window);
    DestroyUiResources();
    return code;
}

}  // namespace

bool RegisterLauncherClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_LAUNCHER));
    windowClass.hIconSm = nullptr;  // Windows takes the small size from the same icon.
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = Ui().backgroundBrush;
    windowClass.lpszClassName = kWindowClassName;
    return RegisterClassExW(&windowClass) != 0;
}

HWND CreateLauncherWindow(HINSTANCE instance, int clientHeight) {
    RECT frame = {0, 0, kWindowClientWidth, clientHeight};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return CreateWindowExW(0, kWindowClassName, kLauncherCaption, kWindowStyle, left, top, width, height, nullptr,
                           nullptr, instance, nullptr);
}

int CompleteSelfUpdate(const std::wstring& target, const std::wstring& processIdText) {
    const DWORD processId = static_cast<DWORD>(std::wcstol(processIdText.c_str(), nullptr, 10));
    if (HANDLE oldLauncher = OpenProcess(SYNCHRONIZE, FALSE, processId)) {
        // After the wait runs out the copy is tried anyway; it fails if the file is still in use.
        WaitForSingleObject(oldLauncher, kOldLauncherWaitMs);
        CloseHandle(oldLauncher);
    }
    wchar_t ownPath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
    if (!ReplaceLauncherFile(ownPath, target)) return 5;
    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
}

int RunLauncher(HINSTANCE instance, int showCommand) {
    std::vector<std::wstring> arguments;
    {
        ArgvHolder argv;
        int count = 0;
        argv.items = CommandLineToArgvW(GetCommandLineW(), &count);
        for (int i = 0; argv.items && i < count; ++i) arguments.emplace_back(argv.items[i]);
    }
    const LaunchMode mode = ChooseLaunchMode(arguments);
    switch (mode) {
        case LaunchMode::SelfUpdate:
            return CompleteSelfUpdate(arguments[2], arguments[3]);
        case LaunchMode::SelfTest:
            return RunFontSelfTest(arguments[2]);
        case LaunchMode::Settings:
            return RunWindowMode(instance, showCommand, mode);
        case LaunchMode::Main:
            break;
    }
    // Held until the process ends; without a mutex at all the launcher still runs.
    KernelHandle oneLauncher;
    oneLauncher.value = CreateMutexW(nullptr, FALSE, kMainModeMutexName);
    if (oneLauncher.value && GetLastError() == ERROR_ALREADY_EXISTS) {
        BringRunningLauncherForward();
        return 0;
    }
    return RunWindowMode(instance, showCommand, mode);
}
