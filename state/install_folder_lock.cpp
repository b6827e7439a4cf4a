#include "state/install_folder_lock.h"

#include <cstdint>
#include <vector>

namespace {

std::wstring FullPath(const std::wstring& folder) {
    const DWORD needed = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return folder;
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD length = GetFullPathNameW(folder.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return folder;
    return std::wstring(buffer.data(), length);
}

// Windows compares file names without regard to case; the invariant upper case stands in
// for the file system's own table.
std::wstring UpperCase(const std::wstring& text) {
    if (text.empty()) return text;
    std::wstring upper(text.size(), L'\0');
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(),
                                     static_cast<int>(text.size()), &upper[0], static_cast<int>(upper.size()),
                                     nullptr, nullptr, 0);
    if (length <= 0) return text;
    upper.resize(static_cast<size_t>(length));
    return upper;
}

}  // namespace

void InstallFolderLock::Release() {
    if (owned) ReleaseMutex(mutex);
    if (mutex) CloseHandle(mutex);
    mutex = nullptr;
    owned = false;
}

std::wstring InstallFolderLockName(const std::wstring& folder) {
    std::wstring path = UpperCase(FullPath(folder));
    // "C:\Games\X\" and "C:\Games\X" are one folder; a drive's root keeps its separator.
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 code units
    for (wchar_t unit : path) {
        hash ^= static_cast<std::uint16_t>(unit);
        hash *= 1099511628211ull;
    }
    wchar_t digits[17] = {};
    for (int i = 15; i >= 0; --i, hash >>= 4) digits[i] = L"0123456789ABCDEF"[hash & 0xF];
    return std::wstring(L"Local\\HollowmereInstallFolder-") + digits;
}

bool LockInstallFolder(const std::wstring& folder, InstallFolderLock& lock, DWORD waitMs) {
    lock.Release();
    lock.mutex = CreateMutexW(nullptr, FALSE, InstallFolderLockName(folder).c_str());
    if (!lock.mutex) return false;
    const DWORD waited = WaitForSingleObject(lock.mutex, waitMs);
    lock.owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (!lock.owned) lock.Release();
    return lock.owned;
}
