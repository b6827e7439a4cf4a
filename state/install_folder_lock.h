#pragma once
#include <windows.h>

#include <string>

// Marks an install folder whose player files an install or repair owns, across processes
// (the settings form runs in a process of its own). The install worker holds it from the
// set-aside of the player's files to their copy back; a settings save for the same folder
// takes it only when it is free, so neither can undo the other's write.
//
// The mark is a named mutex of the session; the name derives from the folder's full path
// in upper case, so two spellings of one folder meet. A process that dies holding it
// frees it (the next taker sees it abandoned and simply takes it).

// Holds the mutex while owned; Release (or the end of the holder) gives it up. Owned by
// the thread that took it, which must also release it.
struct InstallFolderLock {
    HANDLE mutex = nullptr;
    bool owned = false;
    InstallFolderLock() = default;
    InstallFolderLock(const InstallFolderLock&) = delete;
    InstallFolderLock& operator=(const InstallFolderLock&) = delete;
    ~InstallFolderLock() { Release(); }
    void Release();
};

// "Local\HollowmereInstallFolder-" and 16 hexadecimal digits: a 64-bit hash of the
// folder's full path (GetFullPathNameW, no trailing separator), upper-cased.
std::wstring InstallFolderLockName(const std::wstring& folder);

// Takes the folder's lock, waiting at most waitMs for another holder. False when it stays
// held by another (or the mutex cannot be made); lock then owns nothing.
constexpr DWORD kInstallFolderLockWaitMs = 30000;
bool LockInstallFolder(const std::wstring& folder, InstallFolderLock& lock,
                       DWORD waitMs = kInstallFolderLockWaitMs);
