#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "app/main_window.h"
#include "net/transfer_figures.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/clean_world.h"
#include "support/client_package.h"
#include "support/client_record.h"
#include "support/service_control.h"
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
    const wchar_t* const planted[] = {L"winhttp", L"bcrypt", L"crypt32", L"wintrust"};
    // WINEDLLOVERRIDES="winhttp,bcrypt,crypt32,wintrust=n,b", for this program name only (the
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
    // Release day: a new package is published while the window shows the old manifest,
    // under a version outside ASCII.
    const std::string release = PackageWithFiller(3 << 20), version = "1.0.1 \u2013 Frostfall";
    ASSERT_TRUE(ServeClientPackage(release, version));
    ASSERT_EQ(PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, IDYES),
              L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about " +
                  FormatByteSize(release.size(), false) + L".");
    ASSERT_EQ(WaitForControlText(window, IDC_STATUS, L"Client up to date", 60000), L"Client up to date");
    EXPECT_EQ(SeenByService(kServedPackagePath).size(), 1u);
    EXPECT_EQ(ReadFileBytes(install + L"\\" + kClientVersionMarkerName), version + "\r\n");
    ExpectPlayerFiles(install);
    ExpectNoHoldingCopies();

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

// The main action reads the manifest again before it installs: a client that became
// current meanwhile (installed by another launcher for a release published since) is
// said to be so, and a service that went away leaves the window as a Retry without a
// manifest does, with the reason; neither asks anything or downloads.
TEST_F(InstallFromTheWindow, TheMainActionFollowsTheManifestOfTheMoment) {
    const struct {
        const char* name;
        bool serviceDown;
        const wchar_t *status, *button;
    } cases[] = {
        {"now current", false, L"Client up to date", L"PLAY"},
        {"service gone", true, L"Could not download the Hollowmere update manifest.", L"Retry"},
    };
    ASSERT_TRUE(WriteInstallPath(folder.path));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService());
        DeleteFileW((folder / kClientVersionMarkerName).c_str());
        LauncherRun run;
        HWND window = StartLauncherWindow(run);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"INSTALL");
        if (c.serviceDown) {
            ASSERT_TRUE(AddScenario(kServedManifestPath, "status=503"));
        } else {
            ASSERT_TRUE(ServeClientPackage(PackageWithFiller(1), "2.0.0"));
            ASSERT_TRUE(WriteFileBytes(folder / kClientExecutableName, "MZ") &&
                        WriteFileBytes(folder / kClientVersionMarkerName, "2.0.0\r\n"));
        }
        ClickControl(window, IDC_MAIN_ACTION);
        EXPECT_TRUE(WaitUntil(
            [&] {
                return ReadControlText(window, IDC_MAIN_ACTION) == c.button && ReadControlText(window, IDC_STATUS) == c.status;
            },
            20000))
            << ToUtf8(ReadControlText(window, IDC_STATUS));
        EXPECT_TRUE(NoMessageBoxFor(run.pid, 1000));
        EXPECT_EQ(SeenByService(kServedManifestPath).size(), 2u);
        EXPECT_TRUE(SeenByService(kServedPackagePath).empty());
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }
}

}  // namespace
