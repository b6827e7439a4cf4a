#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Before any library is loaded: a DLL that is not one of the system's known ones is
    // otherwise looked for in the launcher's own folder first, where anything may lie
    // beside a launcher run from a downloads folder. The launcher delay-loads those it
    // uses, so they come from the system folder only.
    // (Looked up by name: a Windows 7 without its loader update lacks the call.)
    using SetDirectoriesCall = BOOL(WINAPI*)(DWORD);
    if (const auto setDirectories = reinterpret_cast<SetDirectoriesCall>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))) {
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    return RunLauncher(instance, showCommand);
}
