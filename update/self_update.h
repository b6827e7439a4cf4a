#pragma once
#include <windows.h>

#include <string>

// The launcher's own update in two steps around its download, which runs on a worker
// (DownloadVerifiedFile with DownloadSubject::Launcher). Both run on the window's thread.
struct LauncherDownload {
    std::wstring url;
    std::wstring file;  // in the temporary folder
    std::wstring digest;
};
// True, with what to fetch, when the loaded manifest names a newer launcher that may
// replace this one. A launcher that cannot replace its own file says so once per
// version in a box owned by window, and goes on.
bool PlanSelfUpdate(HWND window, LauncherDownload& download);
// After the download: starts the downloaded launcher with "--self-update" when it is
// newer and, for a signed launcher, signed by the same publisher, then destroys window.
// True only then. A file that is refused is not fetched again in this run.
bool HandOverToDownloadedLauncher(HWND window, const std::wstring& updateFile);

// The self-update completion's copy: puts source's bytes in target's place so that a
// kill or a power loss at any moment leaves the old or the new file whole. The copy is
// made and flushed beside target, then replaces it in one step, retried for a few
// seconds while target is locked. On false target is unchanged and no copy is left.
bool ReplaceLauncherFile(const std::wstring& source, const std::wstring& target);
