#include "app/window_work.h"

#include <objbase.h>

#include <memory>
#include <thread>
#include <utility>

#include "app/main_window.h"
#include "app/install_records.h"
#include "net/download.h"

namespace {

constexpr DWORD kRetryMs = 100;

// A worker's last word: without it the window would wait for good, so a refused post
// is retried while the window exists.
template <typename Record>
void Deliver(HWND window, UINT message, std::unique_ptr<Record> record) {
    while (!PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(record.get()))) {
        if (!IsWindow(window)) return;
        Sleep(kRetryMs);
    }
    record.release();  // the window owns it now
}

// Starts work on a thread nobody waits for; false when no thread could be made.
template <typename Work>
bool RunDetached(Work work) {
    try {
        std::thread(std::move(work)).detach();
        return true;
    } catch (...) {  // the system refused a thread
        return false;
    }
}

}  // namespace

bool StartManifestCheck(HWND window, unsigned job, bool estimate) {
    return RunDetached([window, job, estimate] {
        auto record = std::make_unique<ManifestChecked>();
        record->job = job;
        record->loaded = FetchUpdateManifest(record->manifest, record->message);
        if (record->loaded && estimate) record->estimate = EstimateClientDownload(record->manifest);
        Deliver(window, WM_MANIFEST_CHECKED, std::move(record));
    });
}

bool StartLauncherDownload(HWND window, unsigned job, const LauncherDownload& download,
                           const std::shared_ptr<WorkControl>& control) {
    return RunDetached([window, job, download, control] {
        const ProgressCallback progress = [window, job](const wchar_t*, int percent) {
            auto record = std::make_unique<LauncherProgress>();
            record->job = job;
            record->percent = percent;
            if (PostMessageW(window, WM_LAUNCHER_PROGRESS, 0, reinterpret_cast<LPARAM>(record.get()))) record.release();
        };
        DownloadControl limits;
        limits.stop = &control->stop;
        limits.minimumBytesPerSpan = kLauncherMinimumBytesPerSpan;
        limits.rateSpanMs = kLauncherRateSpanMs;
        auto record = std::make_unique<LauncherDownloaded>();
        record->job = job;
        record->file = download.file;
        record->success = DownloadVerifiedFile(download.url, download.file, 0, download.digest, record->message,
                                               progress, DownloadSubject::Launcher, limits);
        Deliver(window, WM_LAUNCHER_DOWNLOADED, std::move(record));
    });
}

bool StartSignInWait(HWND window, unsigned job, const PendingApproval& pending,
                     const std::shared_ptr<WorkControl>& control) {
    return RunDetached([window, job, pending, control] {
        auto record = std::make_unique<SignInAnswered>();
        record->job = job;
        record->answer = WaitForApproval(pending, control->stopEvent.value);
        Deliver(window, WM_SIGN_IN_ANSWERED, std::move(record));
    });
}

bool StartInstallWorker(HWND window, const std::wstring& folder, const UpdateManifest& manifest,
                        const std::shared_ptr<WorkControl>& control) {
    return RunDetached([window, folder, manifest, control] {
        // The shell may hand the unpacking command to extensions that expect COM here.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        const ProgressCallback progress = [window](const wchar_t* text, int percent) {
            PostInstallProgress(window, text, percent);
        };
        std::wstring message;
        const bool success = InstallClient(folder, manifest, message, progress, &control->install);
        if (SUCCEEDED(com)) CoUninitialize();
        DeliverInstallResult(window, success, std::move(message));
    });
}
