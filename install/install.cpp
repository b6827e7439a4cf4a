#include "install/install.h"

#include <commctrl.h>
#include <objbase.h>
#include <process.h>

#include <memory>
#include <string>
#include <utility>

#include "app/main_window.h"
#include "app/ui_resources.h"
#include "install/install_client.h"
#include "install/install_records.h"
#include "play/sign_in.h"
#include "state/launcher_config.h"
#include "update/update_manifest.h"

namespace {

constexpr const wchar_t* kRepairQuestion =
    L"Scan and restore the managed client files? Your font settings and personal files will be preserved.";
constexpr const wchar_t* kInstallQuestion =
    L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about 3.4 GB.";
constexpr const wchar_t* kRepairingText = L"Repairing client...";
constexpr const wchar_t* kInstallingText = L"Downloading and installing client...";
constexpr const wchar_t* kWorkerStartMessage = L"Could not start the client installer.";

// Everything the worker needs, copied: it shares nothing with the window's thread but
// the window handle.
struct InstallWorkerInput {
    HWND window = nullptr;
    std::wstring folder;
    UpdateManifest manifest;
};

unsigned __stdcall RunInstallWorker(void* parameter) {
    std::unique_ptr<InstallWorkerInput> input(static_cast<InstallWorkerInput*>(parameter));
    // The shell may hand the unpacking command to extensions that expect COM here.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const HWND window = input->window;
    const ProgressCallback progress = [window](const wchar_t* text, int percent) {
        PostInstallProgress(window, text, percent);
    };
    std::wstring message;
    const bool success = InstallClient(input->folder, input->manifest, message, progress);
    if (SUCCEEDED(com)) CoUninitialize();
    DeliverInstallResult(window, success, std::move(message));
    return 0;
}

// Starts the worker and lets it run on its own; nobody waits for it.
bool StartInstallWorker(HWND window, const std::wstring& folder) {
    auto input = std::make_unique<InstallWorkerInput>();
    input->window = window;
    input->folder = folder;
    input->manifest = CurrentManifest();
    const uintptr_t thread = _beginthreadex(nullptr, 0, RunInstallWorker, input.get(), 0, nullptr);
    if (!thread) return false;
    input.release();  // the worker owns its input now
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

void EnterInstallingState(bool repair) {
    MainWindowState& state = MainWindow();
    if (state.mainAction) EnableWindow(state.mainAction, FALSE);
    if (state.progressBar) {
        ShowWindow(state.progressBar, SW_SHOW);
        SetProgressMarquee(false);
        SendMessageW(state.progressBar, PBM_SETPOS, 0, 0);
    }
    SetStatusText(repair ? kRepairingText : kInstallingText);
    state.busy = true;
}

}  // namespace

void InstallOrRepairFromWindow(HWND window, bool repair) {
    const std::wstring text = ReadFolderBoxText();
    if (text.empty()) {
        MessageBoxW(window, L"Choose an installation folder first.", kLauncherCaption, MB_ICONEXCLAMATION);
        return;
    }
    // The folder stored, installed into, tested, played and edited must be the one real
    // folder, whatever the current folder is and whatever Windows would trim.
    std::wstring folder, refusal;
    if (!MakeInstallFolder(text, folder, refusal)) {
        MessageBoxW(window, refusal.c_str(), kLauncherCaption, MB_ICONEXCLAMATION);
        return;
    }
    if (folder != text && MainWindow().folderBox) SetWindowTextW(MainWindow().folderBox, folder.c_str());
    // Remembered before anything is asked, so a chosen folder survives a declined action.
    // Play reads the client's place back from here.
    WriteInstallPath(folder);
    if (!IsManifestLoaded() && !CheckForUpdates()) return;  // the status line tells why
    if (!repair && IsClientCurrent(folder, CurrentManifest())) {
        // The client has started: the launcher's work is done.
        if (SignInAndLaunch(window)) DestroyWindow(window);
        return;
    }
    // Owned by the window, so the window cannot be clicked again while the box is open.
    if (MessageBoxW(window, repair ? kRepairQuestion : kInstallQuestion, kLauncherCaption,
                    MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    EnterInstallingState(repair);
    if (!StartInstallWorker(window, folder)) {
        // No worker will ever end the busy state: end it the way a failed install does,
        // with the reason in an error box.
        auto result = std::make_unique<InstallResult>();
        result->message = kWorkerStartMessage;
        SendMessageW(window, WM_INSTALL_DONE, 0, reinterpret_cast<LPARAM>(result.release()));
    }
}
