#include "app/install_records.h"

#include <atomic>
#include <memory>
#include <utility>

#include "app/main_window.h"

namespace {

constexpr DWORD kResultRetryMs = 100;

std::atomic<InstallPostFunction> postFunction{nullptr};

BOOL Post(HWND window, UINT message, LPARAM record) {
    const InstallPostFunction post = postFunction.load();
    return (post ? post : PostMessageW)(window, message, 0, record);
}

template <typename Record>
bool PostRecord(HWND window, UINT message, std::unique_ptr<Record> record) {
    if (!Post(window, message, reinterpret_cast<LPARAM>(record.get()))) return false;
    record.release();  // the window owns it now
    return true;
}

std::unique_ptr<InstallResult> MakeResult(bool success, std::wstring message) {
    auto record = std::make_unique<InstallResult>();
    record->success = success;
    record->message = std::move(message);
    return record;
}

}  // namespace

bool PostInstallProgress(HWND window, const std::wstring& text, int percent) {
    auto record = std::make_unique<InstallProgress>();
    record->text = text;
    record->percent = percent;
    return PostRecord(window, WM_INSTALL_PROGRESS, std::move(record));
}

bool PostInstallResult(HWND window, bool success, std::wstring message) {
    return PostRecord(window, WM_INSTALL_DONE, MakeResult(success, std::move(message)));
}

bool DeliverInstallResult(HWND window, bool success, std::wstring message) {
    std::unique_ptr<InstallResult> record = MakeResult(success, std::move(message));
    for (;;) {
        if (Post(window, WM_INSTALL_DONE, reinterpret_cast<LPARAM>(record.get()))) {
            record.release();  // the window owns it now
            return true;
        }
        if (!IsWindow(window)) return false;  // nobody is left to tell
        Sleep(kResultRetryMs);
    }
}

void SetInstallPostFunctionForTesting(InstallPostFunction post) { postFunction.store(post); }
