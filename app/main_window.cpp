#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "app/display_scaling.h"
#include "app/ui_resources.h"
#include "app/main_actions.h"
#include "app/window_work.h"
#include "app/install_records.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "update/update_manifest.h"

namespace {

constexpr int kFolderTextLimit = 32000;
constexpr LPARAM kMarqueeIntervalMs = 30;
constexpr const wchar_t* kBrowseTitle = L"Choose the folder that will contain Hollowmere\\Sarnhold";
constexpr const wchar_t* kDownloadingText = L"Downloading";  // the download's report, followed by its figures

struct ControlRow {
    const wchar_t* className;
    const wchar_t* text;
    int id;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    DWORD extendedStyle;
    int left, top, width, height;
    bool titleFont;
    HWND MainWindowState::*slot;  // where the handle is kept, if anywhere
};

// Creation order is the Tab order.
const ControlRow kControls[] = {
    {L"STATIC", L"Hollowmere Sarnhold", 0, 0, 0, 24, 18, 360, 30, true, nullptr},
    {L"STATIC", L"English Elder-line", 0, 0, 0, 24, 50, 300, 20, false, nullptr},
    {L"STATIC", L"", 0, 0, 0, 24, 79, 420, 22, false, &MainWindowState::accountLine},
    {L"STATIC", L"Install location", 0, 0, 0, 24, 116, 130, 20, false, nullptr},
    {L"EDIT", L"", IDC_INSTALL_PATH, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 24, 139, 405, 24, false,
     &MainWindowState::folderBox},
    {L"BUTTON", L"Browse", IDC_BROWSE, WS_TABSTOP | BS_PUSHBUTTON, 0, 439, 137, 82, 28, false, nullptr},
    // As wide as the bar below it, so the longest status (a failed update check, or the
    // download's speed and time left) reads whole.
    {L"STATIC", L"Checking for updates...", IDC_STATUS, 0, 0, 24, 174, 497, 20, false, &MainWindowState::statusLine},
    {PROGRESS_CLASSW, L"", IDC_PROGRESS, PBS_SMOOTH | PBS_MARQUEE, 0, 24, 197, 497, 16, false,
     &MainWindowState::progressBar},
    {L"BUTTON", L"Repair", IDC_REPAIR, WS_TABSTOP | BS_PUSHBUTTON, 0, 24, 227, 88, 31, false,
     &MainWindowState::repairButton},
    {L"BUTTON", L"Settings", IDC_SETTINGS, WS_TABSTOP | BS_PUSHBUTTON, 0, 120, 227, 88, 31, false, nullptr},
    {L"BUTTON", L"Sign out", IDC_SIGN_OUT, WS_TABSTOP | BS_PUSHBUTTON, 0, 216, 227, 88, 31, false, nullptr},
    {L"BUTTON", L"INSTALL", IDC_MAIN_ACTION, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 365, 219, 156, 43, false,
     &MainWindowState::mainAction},
};

void CreateControls(HWND window) {
    MainWindowState& state = MainWindow();
    for (const ControlRow& row : kControls) {
        HWND control = CreateWindowExW(row.extendedStyle, row.className, row.text, WS_CHILD | WS_VISIBLE | row.style,
                                       row.left, row.top, row.width, row.height, window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), Ui().instance, nullptr);
        if (row.slot) state.*row.slot = control;
        if (!control) continue;
        HFONT font = row.titleFont ? Ui().titleFont : Ui().bodyFont;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (state.folderBox) {
        SendMessageW(state.folderBox, EM_LIMITTEXT, kFolderTextLimit, 0);
        SetWindowTextW(state.folderBox, ReadInstallPath().c_str());
    }
    if (state.progressBar) {
        SendMessageW(state.progressBar, PBM_SETRANGE32, 0, 100);
        ShowWindow(state.progressBar, SW_HIDE);
    }
}

void BrowseForFolder(HWND window) {
    // The picker's newer dialog style needs COM on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    BROWSEINFOW info = {};
    info.hwndOwner = window;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        // The chosen folder itself becomes the install folder; it is stored only when
        // an action starts.
        if (SHGetPathFromIDListW(item, path) && MainWindow().folderBox) SetWindowTextW(MainWindow().folderBox, path);
        CoTaskMemFree(item);
        RefreshMainWindow();
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

void StartSettingsProcess(HWND window) {
    // The settings form runs as a process of its own; nothing waits for it.
    wchar_t ownPath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
    ShellExecuteW(window, L"open", ownPath, L"--settings", nullptr, SW_SHOWNORMAL);
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    const WindowWork work = MainWindow().work;
    // While an install runs only its Cancel counts, so no second worker can start and
    // the folder stays the one being installed; other work leaves Browse, Settings and
    // Sign out to the player.
    switch (LOWORD(wParam)) {
        case IDC_MAIN_ACTION:
            if (work == WindowWork::Idle) InstallOrRepairFromWindow(window, false);
            else CancelWindowWork(window);
            return 0;
        case IDC_REPAIR:
            if (work == WindowWork::Idle) InstallOrRepairFromWindow(window, true);
            return 0;
        case IDC_BROWSE:
            if (work != WindowWork::Installing) BrowseForFolder(window);
            return 0;
        case IDC_SETTINGS:
            if (work != WindowWork::Installing) StartSettingsProcess(window);
            return 0;
        case IDC_SIGN_OUT:
            if (work == WindowWork::Installing) return 0;
            SignOut();
            RefreshMainWindow();
            return 0;
        default:
            return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

void OnInstallProgress(LPARAM lParam) {
    std::unique_ptr<InstallProgress> record(reinterpret_cast<InstallProgress*>(lParam));
    if (!record) return;
    std::wstring text = record->text;
    if (record->percent >= 0) text += L" " + std::to_wstring(record->percent) + L"%";
    TransferRate& download = MainWindow().download;
    if (record->text == kDownloadingText && record->percent >= 0) {
        // The download reports whole percentages, so each sample is taken when a new one is
        // first reached: that is when the bytes received match it most closely.
        // Over what travels: the whole package, or what a kept older one does not give.
        const MainWindowState& state = MainWindow();
        const std::uint64_t fetched = state.control ? state.control->install.fetchTotal.load() : 0;
        const std::uint64_t size = fetched > 0 ? fetched : CurrentManifest().client_size;
        const std::uint64_t percent = static_cast<std::uint64_t>(record->percent);
        AddTransferSample(download, GetTickCount64(), size / 100 * percent + size % 100 * percent / 100);
        text += TransferFiguresText(download, size);
    } else {
        download = TransferRate();
    }
    // Once the install unpacks, it can no longer be stopped.
    const MainWindowState& state = MainWindow();
    if (state.control && state.control->install.phase != kInstallDownloading && state.mainAction)
        EnableWindow(state.mainAction, FALSE);
    SetStatusText(text);
    if (record->percent >= 0) {
        SetProgressMarquee(false);
        SendMessageW(MainWindow().progressBar, PBM_SETPOS, static_cast<WPARAM>(record->percent), 0);
    } else {
        SetProgressMarquee(true);
    }
}

}  // namespace

MainWindowState& MainWindow() {
    static MainWindowState state;
    return state;
}

void SetStatusText(const std::wstring& text) {
    HWND status = MainWindow().statusLine;
    if (!status) return;
    SetWindowTextW(status, text.c_str());
    UpdateWindow(status);
}

std::wstring ReadFolderBoxText() {
    HWND box = MainWindow().folderBox;
    if (!box) return std::wstring();
    const int length = GetWindowTextLengthW(box);
    std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = GetWindowTextW(box, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void SetProgressMarquee(bool moving) {
    HWND bar = MainWindow().progressBar;
    if (!bar) return;
    const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    if (moving) {
        SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
        SendMessageW(bar, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
    } else {
        SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
        SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    }
    InvalidateRect(bar, nullptr, TRUE);
}

void SetWindowWork(WindowWork work) {
    MainWindowState& state = MainWindow();
    state.work = work;
    const bool idle = work == WindowWork::Idle;
    // The work that can be stopped offers it where the main action was.
    const bool stoppable =
        work == WindowWork::UpdatingLauncher || work == WindowWork::SigningIn || work == WindowWork::Installing;
    if (state.mainAction) {
        if (stoppable) SetWindowTextW(state.mainAction, L"Cancel");
        EnableWindow(state.mainAction, idle || stoppable);
    }
    if (state.repairButton) EnableWindow(state.repairButton, idle);
}

void RefreshMainWindow() {
    const MainWindowState& state = MainWindow();
    const std::wstring folder = state.folderBox ? ReadFolderBoxText() : ReadInstallPath();
    if (state.work != WindowWork::Idle) {
        // The status line and the main action tell of the work until it ends.
    } else if (!IsManifestLoaded()) {
        SetStatusText(L"Unable to check updates. Check your internet connection.");
        if (state.mainAction) SetWindowTextW(state.mainAction, L"Retry");
    } else if (IsClientCurrent(folder, CurrentManifest())) {
        SetStatusText(L"Client up to date");
        if (state.mainAction) SetWindowTextW(state.mainAction, L"PLAY");
    } else {
        SetStatusText(L"Sarnhold is ready to install");
        if (state.mainAction) SetWindowTextW(state.mainAction, L"INSTALL");
    }

    std::wstring account;
    std::string token;
    if (!LoadSession(token)) {
        account = L"Not signed in - Discord opens on first Play";
    } else {
        const std::wstring name = ReadAccountName();
        account = name.empty() ? L"Signed in with Discord" : L"Signed in as " + name;
    }
    if (state.accountLine) SetWindowTextW(state.accountLine, account.c_str());
}

void CreateMainControls(HWND window) {
    MainWindow() = MainWindowState{};
    CreateControls(window);
    LayOutForDpi(window, WindowDpi(window));
    // The window shows at once; the check's result is taken when it arrives.
    BeginUpdateCheck(window, AfterCheck::Refresh);
    RefreshMainWindow();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateMainControls(window);
            return 0;
        case WM_DESTROY:
            // The handles die with the window; nothing may touch them afterwards.
            MainWindow() = MainWindowState{};
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            if (!MayCloseMainWindow(window)) return 0;
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_COMMAND:
            return OnCommand(window, wParam, lParam);
        case WM_CTLCOLORSTATIC:
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(Ui().backgroundBrush);
        case WM_DPICHANGED:
            LayOutForDpi(window, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_INSTALL_PROGRESS:
            OnInstallProgress(lParam);
            return 0;
        case WM_INSTALL_DONE:
            OnInstallDone(window, lParam);
            return 0;
        case WM_MANIFEST_CHECKED:
            OnManifestChecked(window, lParam);
            return 0;
        case WM_LAUNCHER_PROGRESS:
            OnLauncherProgress(lParam);
            return 0;
        case WM_LAUNCHER_DOWNLOADED:
            OnLauncherDownloaded(window, lParam);
            return 0;
        case WM_SIGN_IN_ANSWERED:
            OnSignInAnswered(window, lParam);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}
