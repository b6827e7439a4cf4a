#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "app/main_window.h"
#include "install/install_client.h"
#include "play/client_interface.h"
#include "state/file_replace.h"
#include "state/launcher_config.h"
#include "support/client_package.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// The real launcher killed during a Repair, around the unpacking that PowerShell does
// in a process of its own, which goes on without the launcher.

namespace {

constexpr DWORD kWindowWaitMs = 20000;
constexpr DWORD kBoxWaitMs = 10000;
constexpr DWORD kInstallWaitMs = 60000;
constexpr const char* kVersion = "1.3.0-crash";
constexpr const wchar_t* kRepairQuestion =
    L"Scan and restore the managed client files? Your font settings and personal files will be preserved.";
constexpr const wchar_t* kInstallQuestion =
    L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about 3.4 GB.";

// Where the kill is aimed, round by round: the copies of the player's files are where a
// kill can do harm, so they get the most.
enum class KillAt { AnyMoment, SettingAside, Unpacking, PuttingBack };
const char* const kKillAtNames[] = {"at a random moment", "while setting aside", "while unpacking",
                                    "while putting back"};
const KillAt kSchedule[] = {KillAt::AnyMoment,    KillAt::SettingAside, KillAt::Unpacking,    KillAt::PuttingBack,
                            KillAt::SettingAside, KillAt::AnyMoment,    KillAt::Unpacking,    KillAt::SettingAside,
                            KillAt::PuttingBack,  KillAt::Unpacking,    KillAt::SettingAside, KillAt::PuttingBack};

// The kill moments come from one fixed seed, so a failing run can be repeated exactly.
constexpr std::uint32_t kCrashSeed = 20261207;

// Ends the process at once, as a crash or the task manager would. True when it was
// still running, false when it had already ended by itself.
bool KillHard(LauncherRun& run) {
    const bool running = WaitForSingleObject(run.process, 0) == WAIT_TIMEOUT;
    if (running) TerminateProcess(run.process, 99);
    // Only once the process is gone is what it left on disk final.
    WaitForSingleObject(run.process, 10000);
    return running;
}

double NowMs() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int RandomBetween(std::mt19937& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
    }
    return true;
}

// Counts the PowerShell processes there are and, with end set, ends each by its id;
// returns how many were found (or ended).
int PowerShellProcesses(bool end) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"powershell.exe") != 0) continue;
        HANDLE process = end ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID) : nullptr;
        if (!end || (process && TerminateProcess(process, 99))) ++count;
        if (!process) continue;
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return count;
}

bool IsPowerShellRunning() { return PowerShellProcesses(false) > 0; }

bool IsRunning(const LauncherRun& run) { return WaitForSingleObject(run.process, 0) == WAIT_TIMEOUT; }

// A long-played options file of a few megabytes: copying it takes long enough for an
// aimed kill to land inside the copy.
std::string PlayerOptions() {
    std::string text = "-- the player's own options\r\n";
    for (int i = 0; i < 60000; ++i) text += "OptionInfoList[\"Player_" + std::to_string(i) + "\"] = 7\r\n";
    return text;
}

struct PlayerFileCheck {
    std::wstring installed;
    std::wstring holding;
    std::string bytes;
    std::string packageBytes;
};

class InstallCrash : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ResetService());
        ResetLauncherDataFolder();
        client = ReadFileBytes(BuildPath(L"tools/game-client/Sarnhold-Elderline.exe"));
        package = PackageWithFiller(8 << 20);
        ASSERT_TRUE(ServeClientPackage(package, kVersion));
        folder = temp / L"Sarnhold";
        ASSERT_TRUE(WriteInstallPath(folder));
        files = {{FontFileIn(folder), FontSettingsHoldingPath(), kPlayerFont, kPackageFont},
                 {OptionsFileIn(folder), GameOptionsHoldingPath(), PlayerOptions(), kPackageOptions}};
    }
    void TearDown() override {
        ResetService();
        ResetLauncherDataFolder();
    }

    // A fresh launcher's window. Once in a couple of hundred kills a launcher started
    // next has shown no window at all under Wine; a player would start it again, and so
    // does this, counting it.
    HWND Start(LauncherRun& run) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!StartLauncher(L"", run)) return nullptr;
            HWND window = WaitForLauncherWindow(run.pid, kWindowWaitMs);
            if (window) return window;
            KillHard(run);
            CloseHandle(run.process);
            run.process = nullptr;
            ++startsWithoutWindow;
        }
        return nullptr;
    }

    static void PressAndConfirm(HWND window, DWORD pid, int button, const wchar_t* question) {
        ClickControl(window, button);
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(pid, kBoxWaitMs, box));
        ASSERT_EQ(box.text, question);
        AnswerMessageBox(box.box, IDYES);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.box); }, kBoxWaitMs));
    }

    static bool WaitForCurrent(HWND window) {
        return WaitUntil(
            [&] {
                Sleep(10);
                return IsControlEnabled(window, IDC_MAIN_ACTION) &&
                       ReadControlText(window, IDC_STATUS) == L"Client up to date";
            },
            kInstallWaitMs);
    }

    // An uninterrupted install or repair from a fresh launcher; its time in milliseconds
    // from the confirmation to "Client up to date".
    double RunToTheEnd(int button, const wchar_t* question) {
        LauncherRun run;
        HWND window = Start(run);
        EXPECT_NE(window, nullptr);
        if (!window) return 0;
        PressAndConfirm(window, run.pid, button, question);
        const double started = NowMs();
        EXPECT_TRUE(WaitForCurrent(window))
            << "status: " << ::testing::PrintToString(ReadControlText(window, IDC_STATUS));
        const double took = NowMs() - started;
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(run, 10000), 0u);
        return took;
    }

    // The client as the package has it, the marker current, the player's files in place
    // and no holding copy left.
    void ExpectRestored() {
        EXPECT_TRUE(ReadFileBytes(folder + L"\\" + kClientExecutableName) == client) << "the client is not restored";
        EXPECT_EQ(ReadFileBytes(folder + L"\\" + kClientVersionMarkerName), std::string(kVersion) + "\r\n");
        for (const PlayerFileCheck& file : files) {
            SCOPED_TRACE(file.installed);
            const std::string installed = ReadFileBytes(file.installed);
            EXPECT_TRUE(installed == file.bytes) << "the player's file holds " << installed.size() << " bytes";
            EXPECT_FALSE(FileExists(file.holding));
        }
    }

    TempFolder temp;
    std::wstring folder;
    std::string client;
    std::string package;
    std::vector<PlayerFileCheck> files;
    int startsWithoutWindow = 0;
};

TEST_F(InstallCrash, ALauncherKilledAroundTheUnpackingIsMendedByTheNextRepair) {
    RunToTheEnd(IDC_MAIN_ACTION, kInstallQuestion);
    for (const PlayerFileCheck& file : files) ASSERT_TRUE(WriteFileBytes(file.installed, file.bytes));
    const double repairMs = RunToTheEnd(IDC_REPAIR, kRepairQuestion);
    ExpectRestored();

    std::mt19937 random(kCrashSeed + 3);
    int kills = 0, onlyInHolding = 0, halfCopies = 0, powerShellWentOn = 0, neverStarted = 0;
    int killsAt[4] = {};
    int round = 0;
    for (const KillAt at : kSchedule) {
        const int aim = static_cast<int>(at);
        SCOPED_TRACE("kill " + std::to_string(round++) + " " + kKillAtNames[aim]);
        LauncherRun run;
        HWND window = Start(run);
        ASSERT_NE(window, nullptr);
        PressAndConfirm(window, run.pid, IDC_REPAIR, kRepairQuestion);
        switch (at) {
            case KillAt::AnyMoment:
                Sleep(static_cast<DWORD>(RandomBetween(random, 0, static_cast<int>(repairMs))));
                break;
            case KillAt::SettingAside:
                // The large options file is the second to go aside: its copy has begun.
                WaitUntil(
                    [&] {
                        return FileExists(files[1].holding) || FileExists(ReplacementFilePath(files[1].holding)) ||
                               !IsRunning(run);
                    },
                    kInstallWaitMs);
                // At once: the copy of a few megabytes is over within a millisecond.
                break;
            case KillAt::Unpacking:
                WaitUntil([&] { return IsPowerShellRunning() || !IsRunning(run); }, kInstallWaitMs);
                Sleep(static_cast<DWORD>(RandomBetween(random, 0, 30)));
                break;
            case KillAt::PuttingBack:
                WaitUntil([&] { return IsPowerShellRunning() || !IsRunning(run); }, kInstallWaitMs);
                WaitUntil([&] { return !IsPowerShellRunning() || !IsRunning(run); }, kInstallWaitMs);
                if (RandomBetween(random, -1, 1) > 0) Sleep(1);
                break;
        }
        ASSERT_TRUE(KillHard(run)) << "the launcher ended by itself";
        ++kills;
        ++killsAt[aim];
        if (IsPowerShellRunning()) ++powerShellWentOn;
        for (const PlayerFileCheck& file : files) {
            if (FileExists(ReplacementFilePath(file.holding)) || FileExists(ReplacementFilePath(file.installed))) {
                ++halfCopies;
            }
        }
        // PowerShell goes on without the launcher and ends by itself, except one that the
        // launcher died while creating: the system resumes a new process's first thread
        // only at the end of its creator's call, so that one never starts.
        if (!WaitUntil([] { return !IsPowerShellRunning(); }, 10000)) neverStarted += PowerShellProcesses(true);

        // At no moment is a file of the player's gone: it is in place, or whole in its
        // holding copy. Nothing is ever half-copied: the installed file is the player's
        // or the package's, and a holding copy is the player's file.
        for (const PlayerFileCheck& file : files) {
            SCOPED_TRACE(file.installed);
            const std::string installed = ReadFileBytes(file.installed);
            const bool inPlace = installed == file.bytes;
            const bool held = FileExists(file.holding);
            EXPECT_TRUE(inPlace || installed == file.packageBytes)
                << "the installed file holds " << installed.size() << " bytes of neither version";
            if (held) {
                EXPECT_TRUE(ReadFileBytes(file.holding) == file.bytes) << "the holding copy is not whole";
            }
            EXPECT_TRUE(inPlace || held) << "the player's file is neither in place nor held";
            if (!inPlace && held) ++onlyInHolding;
        }

        RunToTheEnd(IDC_REPAIR, kRepairQuestion);
        ExpectRestored();
        if (HasFailure()) break;
    }
    if (HasFailure()) return;
    // One summary line, which the README's crash-safety notes quote.
    const std::string summary = "install (repair in the real launcher, about " + std::to_string(static_cast<int>(repairMs)) +
                      " ms each): " + std::to_string(kills) + " kills (" + std::to_string(killsAt[0]) + " " +
                      kKillAtNames[0] + ", " + std::to_string(killsAt[1]) + " " + kKillAtNames[1] + ", " +
                      std::to_string(killsAt[2]) + " " + kKillAtNames[2] + ", " + std::to_string(killsAt[3]) + " " +
                      kKillAtNames[3] + "; PowerShell still running after " + std::to_string(powerShellWentOn) +
                      ", of which " + std::to_string(neverStarted) + " never started; " +
                      std::to_string(halfCopies) + " half copies left beside a file); a player's file was only " +
                      "in its holding copy " + std::to_string(onlyInHolding) +
                      " times; the next Repair restored the client and both files every time (" +
                      std::to_string(startsWithoutWindow) + " launcher starts showed no window and were repeated)";
    std::printf("[ crash    ] %s\n", summary.c_str());
    std::fflush(stdout);
}

}  // namespace
