#pragma once
#include <windows.h>

#include <string>

// Replaces the running launcher when the loaded manifest names a newer one: downloads
// and verifies it into the temporary folder, starts it with "--self-update", and
// destroys window. True only when the new launcher has been started and window
// destroyed; false in every other case (no update needed, or the update failed, which
// has then been shown). Runs on the window's thread while the window is created.
bool SelfUpdateIfNewer(HWND window);

// True once this process has handed over to a new launcher. Start-up then ends at once
// and quietly: the new launcher is waiting for this process to end.
bool HasHandedOverToNewLauncher();

// The self-update completion's copy: puts source's bytes in target's place so that a
// kill or a power loss at any moment leaves the old or the new file whole. The copy is
// made and flushed beside target, then replaces it in one step, retried for a few
// seconds while target is locked. On false target is unchanged and no copy is left.
bool ReplaceLauncherFile(const std::wstring& source, const std::wstring& target);
