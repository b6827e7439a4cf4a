// Stands in for the game client. It records how it was started in
// "client-start-record.txt" beside its own executable (UTF-8, one "name=value" per
// line: arguments, working_folder, command_line), then shows a small window.
// With HOLLOWMERE_CLIENT_CLOSE_MS set in its environment the window closes itself
// after that many milliseconds, so tests never leave it behind.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr const wchar_t* kRecordFileName = L"client-start-record.txt";
constexpr UINT_PTR kCloseTimer = 1;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            nullptr);
    return bytes;
}

// The command line without the program name and the spaces after it.
std::wstring ArgumentsOf(const std::wstring& commandLine) {
    std::size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        at = commandLine.find(L'"', 1);
        at = at == std::wstring::npos ? commandLine.size() : at + 1;
    } else {
        while (at < commandLine.size() && commandLine[at] != L' ' && commandLine[at] != L'\t') ++at;
    }
    while (at < commandLine.size() && (commandLine[at] == L' ' || commandLine[at] == L'\t')) ++at;
    return commandLine.substr(at);
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring text(path);
    const std::size_t slash = text.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : text.substr(0, slash);
}

std::wstring CurrentFolder() {
    wchar_t folder[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(MAX_PATH * 4, folder);
    return folder;
}

void WriteStartRecord(const std::wstring& arguments, const std::wstring& workingFolder,
                      const std::wstring& commandLine) {
    const std::string record = "arguments=" + ToUtf8(arguments) + "\nworking_folder=" + ToUtf8(workingFolder) +
                               "\ncommand_line=" + ToUtf8(commandLine) + "\n";
    HANDLE file = CreateFileW((OwnFolder() + L"\\" + kRecordFileName).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
}

LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const std::wstring commandLine = GetCommandLineW();
    const std::wstring arguments = ArgumentsOf(commandLine);
    WriteStartRecord(arguments, CurrentFolder(), commandLine);

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ClientWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"SarnholdStandInClient";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Hollowmere Sarnhold (stand-in client)",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 480, 160,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    const std::wstring text = L"Stand-in game client started with:\r\n" + arguments;
    CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 12, 12, 440, 100, window, nullptr, instance,
                    nullptr);
    if (const char* closeMs = std::getenv("HOLLOWMERE_CLIENT_CLOSE_MS"))
        SetTimer(window, kCloseTimer, static_cast<UINT>(std::strtoul(closeMs, nullptr, 10)), nullptr);
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
