#include "install/install_records.h"

#include <memory>
#include <utility>

#include "app/main_window.h"

namespace {

template <typename Record>
bool PostRecord(HWND window, UINT message, std::unique_ptr<Record> record) {
    if (!PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(record.get()))) return false;
    record.release();  // the window owns it now
    return true;
}

}  // namespace

bool PostInstallProgress(HWND window, const std::wstring& text, int percent) {
    auto record = std::make_unique<InstallProgress>();
    record->text = text;
    record->percent = percent;
    return PostRecord(window, WM_INSTALL_PROGRESS, std::move(record));
}

bool PostInstallResult(HWND window, bool success, std::wstring message) {
    auto record = std::make_unique<InstallResult>();
    record->success = success;
    record->message = std::move(message);
    return PostRecord(window, WM_INSTALL_DONE, std::move(record));
}
