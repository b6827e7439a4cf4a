#include "app/main_actions.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <utility>

#include "app/ui_resources.h"
#include "app/window_work.h"
#include "app/install_records.h"
#include "net/download.h"
#include "net/transfer_figures.h"
#include "play/sign_in.h"
#include "state/launcher_config.h"
#include "update/self_update.h"
#include "update/update_manifest.h"

namespace {

constexpr const wchar_t* kRepairQuestion =
    L"Scan and restore the managed client files? Your font settings and personal files will be preserved.";
constexpr const wchar_t* kInstallQuestion = L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about ";
constexpr const wchar_t* kUnknownDownloadSize = L"3.4 GB";  // what a manifest without a size leaves to say
constexpr const wchar_t* kRepairingText = L"Repairing client...";
constexpr const wchar_t* kInstallingText = L"Downloading and installing client...";
constexpr const wchar_t* kCheckingText = L"Checking for updates...";
constexpr const wchar_t* kUpdatingLauncherText = L"Updating launcher";
constexpr const wchar_t* kWaitingForSignInText = L"Waiting for you to sign in in your browser...";
constexpr const wchar_t* kStoppingText = L"Stopping the download...";
constexpr const wchar_t* kWorkerStartMessage = L"Could not start the client installer.";
constexpr const wchar_t* kStillInstalling = L"Installation is still running. Please wait for it to finish.";
constexpr const wchar_t* kStopDownloadQuestion =
    L"The client is still downloading. Stop the download and close the launcher?\n\nThe download goes on from where "
    L"it stopped the next time you install.";
// The worker always names its failure; this only guards against a result without one.
constexpr const wchar_t* kInstallFailedWithoutReason = L"The installation could not be completed.";

MainWindowState& State() { return MainWindow(); }

// A new job: reports of the ones before it are stale from now on.
unsigned NextJob() { return ++State().job; }

void ShowProgressBar(int percent) {
    HWND bar = State().progressBar;
    if (!bar) return;
    ShowWindow(bar, SW_SHOW);
    SetProgressMarquee(false);
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

// Back to Idle, the bar hidden, the worker's control let go.
void EndWork() {
    MainWindowState& state = State();
    state.control.reset();
    state.download = TransferRate();
    SetProgressMarquee(false);
    if (state.progressBar) ShowWindow(state.progressBar, SW_HIDE);
    SetWindowWork(WindowWork::Idle);
}

void StartInstall(HWND window, const std::wstring& folder, bool repair) {
    MainWindowState& state = State();
    state.control = std::make_shared<WorkControl>();
    SetWindowWork(WindowWork::Installing);
    ShowProgressBar(0);
    SetStatusText(repair ? kRepairingText : kInstallingText);
    if (!StartInstallWorker(window, folder, CurrentManifest(), state.control)) {
        // No worker will ever end the busy state: end it the way a failed install does,
        // with the reason in an error box.
        auto result = std::make_unique<InstallResult>();
        result->message = kWorkerStartMessage;
        SendMessageW(window, WM_INSTALL_DONE, 0, reinterpret_cast<LPARAM>(result.release()));
    }
}

// "about 212 MB (3.2 GB already on this computer)": what will really travel.
std::wstring DownloadSizeText(const UpdateManifest& manifest, const DownloadEstimate& estimate) {
    if (manifest.client_size == 0) return kUnknownDownloadSize;
    std::wstring text = FormatByteSize(estimate.fetch, false);
    if (estimate.onComputer > 0) text += L" (" + FormatByteSize(estimate.onComputer, false) + L" already on this computer)";
    return text;
}

// After the check an install or repair was waiting for.
void AskAndInstall(HWND window, bool repair, const DownloadEstimate& estimate) {
    const std::wstring folder = State().checkedFolder;
    const UpdateManifest& manifest = CurrentManifest();
    if (!repair && IsClientCurrent(folder, manifest)) return;  // the refreshed window says so
    const std::wstring question =
        repair ? kRepairQuestion : kInstallQuestion + DownloadSizeText(manifest, estimate) + L".";
    // Owned by the window, so the window cannot be clicked again while the box is open.
    if (MessageBoxW(window, question.c_str(), kLauncherCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    StartInstall(window, folder, repair);
}

void BeginLauncherUpdate(HWND window, const LauncherDownload& download) {
    MainWindowState& state = State();
    state.control = std::make_shared<WorkControl>();
    const unsigned job = NextJob();
    SetWindowWork(WindowWork::UpdatingLauncher);
    ShowProgressBar(0);
    SetStatusText(std::wstring(kUpdatingLauncherText) + L"...");
    if (!StartLauncherDownload(window, job, download, state.control)) {
        EndWork();
        RefreshMainWindow();
    }
}

void PlayOrWaitForSignIn(HWND window) {
    PendingApproval pending;
    switch (StartSignIn(window, pending)) {
        case SignInStart::Launched:
            DestroyWindow(window);  // the client has started: the launcher's work is done
            return;
        case SignInStart::Failed:
            return;
        case SignInStart::AwaitApproval:
            break;
    }
    MainWindowState& state = State();
    state.control = std::make_shared<WorkControl>();
    state.control->stopEvent.value = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const unsigned job = NextJob();
    SetWindowWork(WindowWork::SigningIn);
    SetStatusText(kWaitingForSignInText);
    if (!state.control->stopEvent.value || !StartSignInWait(window, job, pending, state.control)) {
        // Waited for on this thread then, as a launcher without workers would.
        EndWork();
        if (FinishSignIn(window, WaitForApproval(pending, nullptr))) DestroyWindow(window);
        else RefreshMainWindow();
    }
}

template <typename Record>
std::unique_ptr<Record> TakeRecord(LPARAM lParam) {
    return std::unique_ptr<Record>(reinterpret_cast<Record*>(lParam));
}

}  // namespace

void BeginUpdateCheck(HWND window, AfterCheck after) {
    MainWindowState& state = State();
    state.afterCheck = after;
    const unsigned job = NextJob();
    SetWindowWork(WindowWork::CheckingForUpdates);
    SetStatusText(kCheckingText);
    if (!StartManifestCheck(window, job, after == AfterCheck::Install)) {
        // As a check that found no service.
        auto record = std::make_unique<ManifestChecked>();
        record->job = job;
        record->message = L"Unable to check updates. Check your internet connection.";
        SendMessageW(window, WM_MANIFEST_CHECKED, 0, reinterpret_cast<LPARAM>(record.release()));
    }
}

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
    if (folder != text && State().folderBox) SetWindowTextW(State().folderBox, folder.c_str());
    // Remembered before anything is asked, so a chosen folder survives a declined action.
    // Play reads the client's place back from here.
    WriteInstallPath(folder);
    if (!repair && IsManifestLoaded() && IsClientCurrent(folder, CurrentManifest())) {
        PlayOrWaitForSignIn(window);
        return;
    }
    // A release may have been published since the window read the manifest: each
    // install and repair works from the newest, or the download could never match it.
    State().checkedFolder = folder;
    BeginUpdateCheck(window, repair ? AfterCheck::Repair : AfterCheck::Install);
}

void CancelWindowWork(HWND window) {
    MainWindowState& state = State();
    switch (state.work) {
        case WindowWork::UpdatingLauncher:
            // What arrived stays, and the next start goes on from there.
            if (state.control) state.control->stop = true;
            NextJob();
            EndWork();
            RefreshMainWindow();
            return;
        case WindowWork::SigningIn:
            if (state.control && state.control->stopEvent.value) SetEvent(state.control->stopEvent.value);
            NextJob();
            EndWork();
            RefreshMainWindow();
            return;
        case WindowWork::Installing:
            // The worker ends at its next read and reports; until then nothing new may start.
            if (state.control && StopInstallDownload(state.control->install)) {
                SetStatusText(kStoppingText);
                if (state.mainAction) EnableWindow(state.mainAction, FALSE);
            }
            return;
        case WindowWork::CheckingForUpdates:
        case WindowWork::Idle:
            return;
    }
}

void OnManifestChecked(HWND window, LPARAM lParam) {
    const auto record = TakeRecord<ManifestChecked>(lParam);
    MainWindowState& state = State();
    if (!record || record->job != state.job || state.work != WindowWork::CheckingForUpdates) return;
    AcceptManifest(record->manifest, record->loaded);
    EndWork();
    const AfterCheck after = state.afterCheck;
    if (!record->loaded && after != AfterCheck::Refresh) {
        // As without a manifest at the start, with the reason in the status line.
        SetStatusText(record->message);
        if (state.mainAction) SetWindowTextW(state.mainAction, L"Retry");
        return;
    }
    if (after == AfterCheck::Refresh) {
        LauncherDownload download;
        if (PlanSelfUpdate(window, download)) {
            BeginLauncherUpdate(window, download);
            return;
        }
        RefreshMainWindow();
        return;
    }
    RefreshMainWindow();
    AskAndInstall(window, after == AfterCheck::Repair, record->estimate);
}

void OnLauncherProgress(LPARAM lParam) {
    const auto record = TakeRecord<LauncherProgress>(lParam);
    const MainWindowState& state = State();
    if (!record || record->job != state.job || state.work != WindowWork::UpdatingLauncher) return;
    SetStatusText(std::wstring(kUpdatingLauncherText) + L" " + std::to_wstring(record->percent) + L"%");
    ShowProgressBar(record->percent);
}

void OnLauncherDownloaded(HWND window, LPARAM lParam) {
    const auto record = TakeRecord<LauncherDownloaded>(lParam);
    const MainWindowState& state = State();
    if (!record || record->job != state.job || state.work != WindowWork::UpdatingLauncher) return;
    EndWork();
    if (record->success && HandOverToDownloadedLauncher(window, record->file)) return;
    if (!record->success) MessageBoxW(window, record->message.c_str(), kLauncherCaption, MB_OK | MB_ICONEXCLAMATION);
    RefreshMainWindow();
}

void OnSignInAnswered(HWND window, LPARAM lParam) {
    const auto record = TakeRecord<SignInAnswered>(lParam);
    const MainWindowState& state = State();
    if (!record || record->job != state.job || state.work != WindowWork::SigningIn) return;
    EndWork();
    if (FinishSignIn(window, record->answer)) {
        DestroyWindow(window);  // the client has started
        return;
    }
    RefreshMainWindow();
}

void OnInstallDone(HWND window, LPARAM lParam) {
    const auto record = TakeRecord<InstallResult>(lParam);
    MainWindowState& state = State();
    const bool stopped = state.control && state.control->install.phase == kInstallStopped;
    EndWork();
    if (record && !record->success && !stopped) {
        const std::wstring& message = record->message.empty() ? kInstallFailedWithoutReason : record->message;
        MessageBoxW(window, message.c_str(), kLauncherCaption, MB_ICONERROR);
    }
    RefreshMainWindow();
}

bool MayCloseMainWindow(HWND window) {
    MainWindowState& state = State();
    if (state.work == WindowWork::SigningIn && state.control && state.control->stopEvent.value) {
        SetEvent(state.control->stopEvent.value);  // no poll after this
        return true;
    }
    if (state.work != WindowWork::Installing || !state.control) return true;
    InstallControl& install = state.control->install;
    if (install.phase == kInstallStopped) return true;
    // A download may end with the process: its bytes so far are a prefix of the package,
    // and the next install goes on from them.
    if (install.phase == kInstallDownloading &&
        MessageBoxW(window, kStopDownloadQuestion, kLauncherCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    if (StopInstallDownload(install) || install.phase == kInstallStopped) return true;
    MessageBoxW(window, kStillInstalling, kLauncherCaption, MB_ICONINFORMATION);
    return false;
}
