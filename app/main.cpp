#include <windows.h>

#include <string>

#include "app/startup.h"

namespace {

// A DLL that is not one of the system's known ones is otherwise looked for in the
// launcher's own folder first, where anything may lie beside a launcher run from a
// downloads folder. Those the launcher uses are delay-loaded (cmake/delay_load.cmake),
// so nothing of them is loaded before this runs.
void LoadLibrariesFromTheSystemFolderOnly() {
    // (Looked up by name, so that a system without the call still gets the loads below.)
    using SetDirectoriesCall = BOOL(WINAPI*)(DWORD);
    if (const auto setDirectories = reinterpret_cast<SetDirectoriesCall>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))) {
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // By full path too, dependencies first: a system DLL's own imports (WinHTTP needs
    // CRYPT32) then find these loaded instead of searching again. COMCTL32 is left to
    // the manifest, which picks its version 6. WINTRUST, which checks a downloaded
    // launcher's signature, needs CRYPT32 too.
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    for (const wchar_t* dll : {L"\\crypt32.dll", L"\\bcrypt.dll", L"\\winhttp.dll", L"\\wintrust.dll"})
        LoadLibraryW((std::wstring(system) + dll).c_str());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    LoadLibrariesFromTheSystemFolderOnly();
    return RunLauncher(instance, showCommand);
}
