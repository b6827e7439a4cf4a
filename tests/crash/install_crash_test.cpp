#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>

#include "app/main_window.h"
#include "install/install_client.h"
#include "net/transfer_figures.h"
#include "play/client_interface.h"
#include "state/file_replace.h"
#include "state/launcher_config.h"
#include "support/clean_world.h"
#include "support/client_package.h"
#include "support/service_control.h"
#include "support/window_driver.h"

// The real launcher killed hard during a Repair, around the unpacking that PowerShell
// does in a process of its own: the player's files are never lost, and the next Repair
// mends everything.

namespace {

constexpr const char* kVersion = "1.3.0-crash";

// Counts the PowerShell processes there are; with end set, ends each of them.
int PowerShellProcesses(bool end = false) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"powershell.exe") != 0) continue;
        ++count;
        HANDLE process = end ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID) : nullptr;
        if (process && TerminateProcess(process, 99)) WaitForSingleObject(process, 10000);
        if (process) CloseHandle(process);
    }
    CloseHandle(snapshot);
    return count;
}

// Spins without sleeping: an aimed kill must land within a moment of what it waits for.
void SpinUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (!done() && GetTickCount64() < deadline) {
    }
}

bool IsRunning(const LauncherRun& run) { return WaitForSingleObject(run.process, 0) == WAIT_TIMEOUT; }

struct PlayerFile {
    std::wstring installed, holding;
    std::string bytes, packageBytes;
};

class InstallCrash : public ServiceWorld {
protected:
    void SetUp() override {
        ServiceWorld::SetUp();
        const std::string package = PackageWithFiller(8 << 20);
        packageSize = package.size();
        ASSERT_TRUE(ServeClientPackage(package, kVersion));
        install = folder / L"Sarnhold";
        ASSERT_TRUE(WriteInstallPath(install));
        // A long-played options file of a few megabytes, so that an aimed kill lands inside its copy.
        std::string options = "-- the player's own options\r\n";
        for (int i = 0; i < 60000; ++i) options += "OptionInfoList[\"Player_" + std::to_string(i) + "\"] = 7\r\n";
        files = {{FontFileIn(install), FontSettingsHoldingPath(), kPlayerFont, kPackageFont},
                 {OptionsFileIn(install), GameOptionsHoldingPath(), options, kPackageOptions}};
    }

    // A fresh launcher with the install or repair (button) confirmed.
    HWND StartAndConfirm(LauncherRun& run, int button) {
        HWND window = StartLauncherWindow(run);
        if (!window && run.process) {
            // Once in a couple of hundred starts after a kill, Wine shows no window; a
            // player would start the launcher again, and so does this.
            TerminateProcess(run.process, 99);
            CloseHandle(run.process);
            run.process = nullptr;
            window = StartLauncherWindow(run);
        }
        if (!window) return nullptr;
        statusBefore = ReadControlText(window, IDC_STATUS);
        const std::wstring asked = PressAndAnswer(window, run.pid, button, IDYES);
        EXPECT_EQ(asked, button == IDC_REPAIR ? L"Scan and restore the managed client files? Your font settings and "
                                                L"personal files will be preserved."
                                              : L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload "
                                                L"size: about " + FormatByteSize(packageSize, false) + L".");
        return asked == L"(no box)" ? nullptr : window;
    }

    void RunToTheEnd(int button) {
        LauncherRun run;
        HWND window = StartAndConfirm(run, button);
        ASSERT_NE(window, nullptr);
        // The window changes its button and its status one after the other, and a busy
        // machine can run the test between the two: a disabled button beside the old
        // "Client up to date" is a Repair that has just begun. So first the status leaves
        // what it read before, then the end that only this run brings.
        EXPECT_TRUE(WaitUntil([&] { return ReadControlText(window, IDC_STATUS) != statusBefore; }, 30000));
        EXPECT_TRUE(WaitUntil(
            [&] {
                return IsControlEnabled(window, IDC_MAIN_ACTION) &&
                       ReadControlText(window, IDC_STATUS) == L"Client up to date";
            },
            120000))
            << ToUtf8(ReadControlText(window, IDC_STATUS));
        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }

    std::wstring install;
    std::uint64_t packageSize = 0;
    std::wstring statusBefore;  // the status line when the last action was confirmed
    std::vector<PlayerFile> files;
};

TEST_F(InstallCrash, ALauncherKilledAroundTheUnpackingIsMendedByTheNextRepair) {
    RunToTheEnd(IDC_MAIN_ACTION);
    for (const PlayerFile& file : files) ASSERT_TRUE(WriteFileBytes(file.installed, file.bytes));
    const PlayerFile& options = files[1];
    // Each waits, in the running launcher, for the moment a kill is aimed at.
    const std::pair<const char*, std::function<void(const LauncherRun&)>> aims[] = {
        {"while the large options file goes aside",
         [&](const LauncherRun& run) {
             SpinUntil([&] {
                 return FileExists(options.holding) || FileExists(ReplacementFilePath(options.holding)) || !IsRunning(run);
             });
         }},
        {"while unpacking",
         [&](const LauncherRun& run) {
             SpinUntil([&] { return PowerShellProcesses() > 0 || !IsRunning(run); });
             Sleep(20);
         }},
        {"while the player's files go back",
         [&](const LauncherRun& run) {
             SpinUntil([&] { return PowerShellProcesses() > 0 || !IsRunning(run); });
             SpinUntil([&] { return PowerShellProcesses() == 0 || !IsRunning(run); });
         }},
    };
    for (const auto& aim : aims) {
        SCOPED_TRACE(aim.first);
        {
            LauncherRun run;
            ASSERT_NE(StartAndConfirm(run, IDC_REPAIR), nullptr);
            aim.second(run);
            ASSERT_TRUE(IsRunning(run)) << "the launcher ended by itself";
            TerminateProcess(run.process, 99);
            WaitForSingleObject(run.process, 10000);
        }
        // An unpacking left running ends with the launcher's job; one the launcher died
        // while creating never starts and is ended here.
        Sleep(200);
        PowerShellProcesses(true);
        // Each file is the player's or the package's, never half of one, and the
        // player's bytes are in place or whole in the holding copy.
        for (const PlayerFile& file : files) {
            SCOPED_TRACE(file.installed);
            const std::string installed = ReadFileBytes(file.installed);
            const bool held = FileExists(file.holding);
            EXPECT_TRUE(installed == file.bytes || installed == file.packageBytes) << installed.size() << " bytes";
            EXPECT_TRUE(installed == file.bytes || held) << "the player's file is neither in place nor held";
            EXPECT_TRUE(!held || ReadFileBytes(file.holding) == file.bytes) << "the holding copy is not whole";
        }
        RunToTheEnd(IDC_REPAIR);
        EXPECT_TRUE(ReadFileBytes(install + L"\\" + kClientExecutableName) ==
                    ReadFileBytes(BuildPath(L"tools/game-client/Sarnhold-Elderline.exe")));
        EXPECT_EQ(ReadFileBytes(install + L"\\" + kClientVersionMarkerName), std::string(kVersion) + "\r\n");
        for (const PlayerFile& file : files) {
            EXPECT_TRUE(ReadFileBytes(file.installed) == file.bytes) << "not restored: " << ToUtf8(file.installed);
            EXPECT_FALSE(FileExists(file.holding));
        }
        if (HasFailure()) break;
    }
}

}  // namespace
