#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "app/main_window.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/clean_world.h"
#include "support/client_package.h"
#include "support/client_record.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// The player's main path through the real window, against the stand-in service, browser
// and PowerShell: install, then Play with a browser sign-in. The details of both are
// proven in process (tests/service); this proves the executable as shipped.

namespace {

using InstallFromTheWindow = ServiceWorld;

// Windows looks for a DLL that is not one of its known ones in the program's folder
// first (a launcher run from a downloads folder); with this override Wine does too.
// Planted DLLs of those names beside a copy of the launcher leave a mark if ever run.
TEST_F(InstallFromTheWindow, KeepsThePlayersFilesPlaysAfterSignInAndNeverLoadsAPlantedDll) {
    SetEnvironmentVariableW(L"HOLLOWMERE_CLIENT_CLOSE_MS", L"500");  // inherited by launcher and client
    const std::wstring launcher = folder / L"HollowmereLauncher.exe";
    ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_LAUNCHER_EXE, launcher.c_str(), FALSE));
    const wchar_t* const planted[] = {L"winhttp", L"bcrypt", L"crypt32"};
    // WINEDLLOVERRIDES="winhttp,bcrypt,crypt32=n,b", for this program name only (the
    // variable itself does not reach a process started from a Windows one).
    struct Overrides {
        const wchar_t* dlls = L"Software\\Wine\\AppDefaults\\HollowmereLauncher.exe\\DllOverrides";
        ~Overrides() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\HollowmereLauncher.exe"); }
    } overrides;
    for (const std::wstring dll : planted) {
        const std::wstring name = dll + L".dll";
        ASSERT_TRUE(CopyFileW(BuildPath(L"planted-dlls/" + name).c_str(), (folder / name).c_str(), FALSE));
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, overrides.dlls, dll.c_str(), REG_SZ, L"native,builtin", 30),
                  ERROR_SUCCESS);
    }
    const std::wstring install = folder / L"Zo\u00eb's Games\\Sarnhold";
    PutPlayerFiles(install);
    ASSERT_TRUE(WriteInstallPath(install));

    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"", launcher);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, IDYES),
              L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about 3.4 GB.");
    ASSERT_EQ(WaitForControlText(window, IDC_STATUS, L"Client up to date", 60000), L"Client up to date");
    ExpectPlayerFiles(install);
    ExpectNoHoldingCopies();
    SaveScreenshot(window, L"install-done");

    // Nobody is signed in: Play signs in through the browser, starts the client and ends.
    EXPECT_EQ(WaitForControlText(window, IDC_MAIN_ACTION, L"PLAY", 5000), L"PLAY");
    EXPECT_EQ(PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, IDOK),
              L"Finish signing in with Discord in your browser, then return here.\n\n"
              L"Click OK and the launcher will wait for approval.");
    EXPECT_EQ(WaitForExit(run, 30000), 0u);
    ClientStartRecord record;
    EXPECT_TRUE(WaitUntil([&] { return ReadClientStartRecord(install, record) && !record.arguments.empty(); }, 10000));
    EXPECT_TRUE(std::regex_match(record.arguments, std::wregex(L"-t:ticket-[A-Za-z0-9_-]+ Wanderer -1sar1")))
        << record.arguments;
    std::string token;
    EXPECT_TRUE(LoadSession(token));
    EXPECT_EQ(token.rfind("device-", 0), 0u) << token;

    for (const std::wstring dll : planted) EXPECT_FALSE(FileExists(folder / dll + L".dll.ran")) << dll;
    // A running client cannot be deleted with its folder.
    WaitUntil([&] { return DeleteFileW((install + L"\\" + kClientExecutableName).c_str()) != FALSE; }, 10000);
}

}  // namespace
