#include "app/startup.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "app/launch_mode.h"
#include "app/main_window.h"
#include "app/ui_resources.h"
#include "settings/font_settings.h"
#include "settings/settings_window.h"
#include "update/self_update.h"

namespace {

constexpr DWORD kOldLauncherWaitMs = 30000;

// Owns the array CommandLineToArgvW returns.
struct ArgvHolder {
    LPWSTR* items = nullptr;
    ~ArgvHolder() {
        if (items) LocalFree(items);
    }
};

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
    if (HasHandedOverToNewLauncher()) {
        // The window was destroyed while it was created because a new launcher has taken
        // over. It waits for this process before it replaces the executable: end at once,
        // with nothing on screen that would wait for the player.
        DestroyUiResources();
        return 0;
    }
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
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
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
        case LaunchMode::Main:
            break;
    }
    return RunWindowMode(instance, showCommand, mode);
}
