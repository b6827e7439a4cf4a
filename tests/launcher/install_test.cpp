#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "install/install_client.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/client_package.h"
#include "support/client_record.h"
#include "support/service_control.h"
#include "support/test_files.h"
#include "support/window_driver.h"

// Install and repair from the real launcher window against the stand-in service and the
// PowerShell stand-in, driven from outside as a player would.

namespace {

constexpr DWORD kBoxWaitMs = 10000;
constexpr DWORD kInstallWaitMs = 60000;

constexpr const wchar_t* kCaption = L"Hollowmere Launcher";
constexpr const wchar_t* kInstallQuestion =
    L"Install Hollowmere Sarnhold in the selected folder?\n\nDownload size: about 3.4 GB.";
constexpr const wchar_t* kRepairQuestion =
    L"Scan and restore the managed client files? Your font settings and personal files will be preserved.";
constexpr const wchar_t* kCurrent = L"Client up to date";
constexpr const wchar_t* kReady = L"Sarnhold is ready to install";

size_t CountRequestsTo(const std::string& path) { return ServiceRequestsTo(path).size(); }

bool HasMarqueeStyle(HWND window) {
    return (GetWindowLongPtrW(GetDlgItem(window, IDC_PROGRESS), GWL_STYLE) & PBS_MARQUEE) != 0;
}

// Wine hands a fresh paint to the X server a moment later.
void Screenshot(HWND window, const wchar_t* name) {
    Sleep(300);
    SaveScreenshot(window, name);
}

// The status line's texts of one install, in the order the player sees them.
struct StatusWatch {
    std::vector<std::wstring> texts;
    bool marqueeWhileInstallingFiles = true;
    void Look(HWND window) {
        const std::wstring text = ReadControlText(window, IDC_STATUS);
        if (text == L"Installing files" && !HasMarqueeStyle(window)) {
            // The window sets the text first and the moving bar right after: look again.
            Sleep(50);
            if (ReadControlText(window, IDC_STATUS) == text && !HasMarqueeStyle(window)) marqueeWhileInstallingFiles = false;
        }
        if (texts.empty() || texts.back() != text) texts.push_back(text);
    }
};

// The stage of a status text in a successful install, or -1 for a text that has no place.
int StageOf(const std::wstring& text, int& percent) {
    percent = -1;
    // The idle text can still be up for a moment after the question box has closed.
    if (text == L"Sarnhold is ready to install" || text == L"Downloading and installing client..." ||
        text == L"Repairing client...")
        return 0;
    // "Downloading 42%", after two seconds with the speed and time left behind it.
    const size_t end = text.find(L'%');
    const std::wstring figures = end == std::wstring::npos ? L"" : text.substr(end + 1);
    if (text.rfind(L"Downloading ", 0) == 0 && end != std::wstring::npos &&
        (figures.empty() || (figures.rfind(L" \u00B7 ", 0) == 0 && figures.find(L"B/s") != std::wstring::npos))) {
        percent = std::stoi(text.substr(12));
        return 1;
    }
    if (text == L"Verifying download 100%") return 2;
    if (text == L"Installing files") return 3;
    if (text == L"Ready 100%") return 4;
    if (text == kCurrent) return 5;
    return -1;
}

class InstallFromTheWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ResetService());
        ResetLauncherDataFolder();
        ClearPowerShellCalls();
    }
    void TearDown() override {
        ResetService();
        ResetLauncherDataFolder();
    }

    // Presses a button that asks first, and checks the question and that the window owns it.
    void PressAndAnswer(HWND window, DWORD pid, int button, const wchar_t* question, int answer) {
        ClickControl(window, button);
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(pid, kBoxWaitMs, box));
        EXPECT_EQ(box.caption, kCaption);
        EXPECT_EQ(box.text, question);
        EXPECT_EQ(GetWindow(box.box, GW_OWNER), window);
        AnswerMessageBox(box.box, answer);
    }

    // The error box that ends a failed install: its text, once answered.
    std::wstring AnswerErrorBox(HWND window, DWORD pid, const wchar_t* screenshot) {
        MessageBoxSeen box;
        if (!WaitForMessageBox(pid, kInstallWaitMs, box)) return L"(no box)";
        EXPECT_EQ(box.caption, kCaption);
        EXPECT_EQ(GetWindow(box.box, GW_OWNER), window);
        Screenshot(box.box, screenshot);
        AnswerMessageBox(box.box, IDOK);
        return box.text;
    }

    static void ExpectIdle(HWND window, const wchar_t* status) {
        EXPECT_TRUE(WaitUntil([&] { return IsControlEnabled(window, IDC_MAIN_ACTION); }, kBoxWaitMs));
        EXPECT_FALSE(IsControlVisible(window, IDC_PROGRESS));
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), status);
    }

    static bool WaitForCurrent(HWND window) {
        return WaitUntil(
            [&] {
                return IsControlEnabled(window, IDC_MAIN_ACTION) && ReadControlText(window, IDC_STATUS) == kCurrent;
            },
            kInstallWaitMs);
    }
};

TEST_F(InstallFromTheWindow, AWatchedInstallEndsUpToDateAndThePressAfterItPlays) {
    SetEnvironmentVariableW(L"HOLLOWMERE_CLIENT_CLOSE_MS", L"500");  // inherited by launcher and client
    ASSERT_TRUE(SaveSession("device-install-test"));
    ASSERT_TRUE(AcceptServiceDeviceToken("device-install-test"));
    // Wine's WinHTTP hands a download over in reads of a whole 1 MiB buffer, so only a
    // package of several MiB shows the percentage rising.
    const std::string package = PackageWithFiller(6 << 20);
    ASSERT_TRUE(ServeClientPackage(package, "1.2.0-watched"));
    // Slow enough to watch, and to try every button while it runs: about four seconds.
    ASSERT_TRUE(AddServiceSlowdown(kServedPackagePath, 3 << 19, 1));

    TempFolder temp;
    const std::wstring folder = temp / L"Tom's Games\\deep\\Sarnhold Client";
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    SetControlText(window, IDC_INSTALL_PATH, folder);
    PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, kInstallQuestion, IDYES);
    EXPECT_EQ(ReadInstallPath(), folder);

    StatusWatch watch;
    ASSERT_TRUE(WaitUntil(
        [&] {
            watch.Look(window);
            int percent = -1;
            return StageOf(watch.texts.back(), percent) == 1 && percent > 0 && percent < 70;
        },
        kBoxWaitMs))
        << ::testing::PrintToString(watch.texts);
    EXPECT_FALSE(IsControlEnabled(window, IDC_MAIN_ACTION));
    EXPECT_TRUE(IsControlVisible(window, IDC_PROGRESS));
    EXPECT_FALSE(HasMarqueeStyle(window));
    Screenshot(window, L"install-downloading");

    // Closing is refused while the install runs.
    PostMessageW(window, WM_CLOSE, 0, 0);
    MessageBoxSeen still;
    ASSERT_TRUE(WaitForMessageBox(run.pid, kBoxWaitMs, still));
    EXPECT_EQ(still.text, L"Installation is still running. Please wait for it to finish.");
    EXPECT_EQ(GetWindow(still.box, GW_OWNER), window);
    AnswerMessageBox(still.box, IDOK);
    EXPECT_TRUE(IsWindow(window));

    // Every other button does nothing meanwhile.
    for (int button : {IDC_SIGN_OUT, IDC_REPAIR, IDC_BROWSE, IDC_SETTINGS, IDC_MAIN_ACTION})
        ClickControl(window, button);
    EXPECT_TRUE(NoMessageBoxFor(run.pid, 400));
    EXPECT_EQ(WaitForOtherLauncherWindow(HOLLOWMERE_TEST_LAUNCHER_EXE, run.pid, 300), nullptr);
    EXPECT_TRUE(FileExists(SessionFilePath()));
    EXPECT_EQ(ReadControlText(window, IDC_STATUS).rfind(L"Downloading ", 0), 0u) << "the install ended too soon";

    ASSERT_TRUE(WaitUntil(
        [&] {
            watch.Look(window);
            return watch.texts.back() == kCurrent;
        },
        kInstallWaitMs));
    // The texts seen follow the order of the reports, the download's percentages rising.
    int stage = 0, lastPercent = -1, downloadTexts = 0, textsWithTimeLeft = 0;
    for (const std::wstring& text : watch.texts) {
        int percent = -1;
        const int next = StageOf(text, percent);
        EXPECT_GE(next, stage) << "out of order or unknown: " << ::testing::PrintToString(text);
        if (next == 1) {
            EXPECT_GE(percent, lastPercent);
            lastPercent = percent;
            ++downloadTexts;
            if (text.find(L" left") != std::wstring::npos) ++textsWithTimeLeft;
        }
        stage = std::max(stage, next);
    }
    EXPECT_GE(downloadTexts, 3);
    EXPECT_GE(textsWithTimeLeft, 1) << ::testing::PrintToString(watch.texts);  // a download of about four seconds
    EXPECT_TRUE(watch.marqueeWhileInstallingFiles);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"PLAY");
    EXPECT_TRUE(IsControlEnabled(window, IDC_MAIN_ACTION));
    EXPECT_FALSE(IsControlVisible(window, IDC_PROGRESS));
    Screenshot(window, L"install-done");

    EXPECT_EQ(ReadFileBytes(LauncherDataFolder() + L"\\client.zip"), package);
    ExpectNoHoldingCopies();
    EXPECT_EQ(ReadFileBytes(folder + L"\\" + kClientVersionMarkerName), ServedClientVersion() + "\r\n");

    // The client is current: the main action plays at once, without a question.
    ClickControl(window, IDC_MAIN_ACTION);
    EXPECT_EQ(WaitForExit(run, 30000), 0u);
    ClientStartRecord record;
    EXPECT_TRUE(WaitUntil([&] { return ReadClientStartRecord(folder, record) && !record.arguments.empty(); }, 10000));
    EXPECT_EQ(record.arguments.rfind(kClientTicketPrefix, 0), 0u) << record.arguments;
    // A running client cannot be deleted with its folder.
    WaitUntil([&] { return DeleteFileW((folder + L"\\" + kClientExecutableName).c_str()) != FALSE; }, 10000);
}

TEST_F(InstallFromTheWindow, ThePlayersFilesSurviveAnInstallAndARepair) {
    TempFolder install;
    PutPlayerFiles(install.path);
    ASSERT_TRUE(WriteInstallPath(install.path));
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kReady);

    PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, kInstallQuestion, IDYES);
    ASSERT_TRUE(WaitForCurrent(window));
    ExpectPlayerFiles(install.path);
    ExpectNoHoldingCopies();

    // Repair on a current client asks and installs again: the client file comes back whole.
    const std::wstring client = install / kClientExecutableName;
    ASSERT_TRUE(WriteFileBytes(client, "MZ stale client"));
    PressAndAnswer(window, run.pid, IDC_REPAIR, kRepairQuestion, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(client) != "MZ stale client"; }, kInstallWaitMs));
    ASSERT_TRUE(WaitForCurrent(window));
    ExpectPlayerFiles(install.path);
    ExpectNoHoldingCopies();
    EXPECT_EQ(CountRequestsTo(kServedPackagePath), 2u);
    Screenshot(window, L"install-after-repair");

    EXPECT_EQ(CloseLauncher(window, run), 0u);
}

// Windows looks for a DLL that is not one of its known ones in the program's folder
// first (a launcher run from a downloads folder); with this override Wine does too.
// Planted DLLs of those names beside a copy of the launcher leave a mark if ever run.
TEST_F(InstallFromTheWindow, DllsPlantedBesideTheLauncherAreNeverLoaded) {
    TempFolder downloads, install;
    const std::wstring launcher = downloads / L"HollowmereLauncher.exe";
    ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_LAUNCHER_EXE, launcher.c_str(), FALSE));
    const wchar_t* const planted[] = {L"winhttp.dll", L"bcrypt.dll", L"crypt32.dll"};
    for (const wchar_t* dll : planted)
        ASSERT_TRUE(CopyFileW(BuildPath(std::wstring(L"planted-dlls/") + dll).c_str(), (downloads / dll).c_str(), FALSE));
    ASSERT_TRUE(WriteInstallPath(install.path));
    // WINEDLLOVERRIDES="winhttp,bcrypt,crypt32=n,b", for this program name only (the
    // variable itself does not reach a process started from a Windows one).
    const wchar_t* const key = L"Software\\Wine\\AppDefaults\\HollowmereLauncher.exe\\DllOverrides";
    for (const wchar_t* dll : {L"winhttp", L"bcrypt", L"crypt32"})
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, dll, REG_SZ, L"native,builtin", 30), ERROR_SUCCESS);
    LauncherRun run;
    HWND window = StartLauncherWindow(run, L"", launcher);
    ASSERT_NE(window, nullptr);

    PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, kInstallQuestion, IDYES);
    EXPECT_TRUE(WaitForCurrent(window));
    EXPECT_EQ(CloseLauncher(window, run), 0u);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\HollowmereLauncher.exe");
    for (const wchar_t* dll : planted) EXPECT_FALSE(FileExists(downloads / dll + L".ran")) << dll;
}

TEST_F(InstallFromTheWindow, AnEmptyFolderWarnsAndAnsweringNoStartsNothing) {
    TempFolder temp;
    const std::wstring folder = temp / L"Zoë Ωmega 游戏";
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);

    for (const auto& refused :
         {std::make_pair(L"", L"Choose an installation folder first."),
          std::make_pair(L"Games\\Zoë Ωmega 游戏",  // would depend on the current folder
                         L"Enter the full path of the installation folder, for example C:\\Games\\Hollowmere\\Sarnhold.")}) {
        SetControlText(window, IDC_INSTALL_PATH, refused.first);
        ClickControl(window, IDC_MAIN_ACTION);
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(run.pid, kBoxWaitMs, box));
        EXPECT_EQ(box.text, refused.second);
        EXPECT_EQ(GetWindow(box.box, GW_OWNER), window);
        AnswerMessageBox(box.box, IDOK);
    }
    EXPECT_FALSE(FileExists(LauncherIniPath()));

    // Windows would drop the dots and spaces at the end: the box shows the folder as stored.
    SetControlText(window, IDC_INSTALL_PATH, folder + L". .");
    PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, kInstallQuestion, IDNO);
    EXPECT_EQ(ReadEditText(window, IDC_INSTALL_PATH), folder);
    PressAndAnswer(window, run.pid, IDC_REPAIR, kRepairQuestion, IDNO);
    EXPECT_EQ(ReadInstallPath(), folder);
    EXPECT_TRUE(NoMessageBoxFor(run.pid, 300));
    EXPECT_TRUE(IsControlEnabled(window, IDC_MAIN_ACTION));
    EXPECT_FALSE(IsControlVisible(window, IDC_PROGRESS));
    EXPECT_EQ(ReadControlText(window, IDC_STATUS), kReady);
    EXPECT_EQ(CountRequestsTo(kServedPackagePath), 0u);
    EXPECT_FALSE(FileExists(folder));

    EXPECT_EQ(CloseLauncher(window, run), 0u);  // not busy: it closes
}

TEST_F(InstallFromTheWindow, FailuresEndInAnErrorBoxWithTheWindowIdleAndThePlayersFilesBack) {
    std::string demo;
    ASSERT_TRUE(ReadServiceFile(kServedPackagePath, demo));
    // Bytes that are no zip at all, with a matching size and digest: the unpacking fails.
    ASSERT_TRUE(ServeClientPackage(std::string(demo.size(), 'x'), "5.0.0-corrupt"));

    TempFolder install;
    PutPlayerFiles(install.path);
    ASSERT_TRUE(WriteInstallPath(install.path));
    {
        LauncherRun run;
        HWND window = StartLauncherWindow(run);
        ASSERT_NE(window, nullptr);

        PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, kInstallQuestion, IDYES);
        EXPECT_EQ(AnswerErrorBox(window, run.pid, L"install-unpacking-failed"),
                  L"Windows could not extract the client package.");
        ExpectIdle(window, kReady);
        ExpectPlayerFiles(install.path);
        ExpectNoHoldingCopies();
        EXPECT_NE(ReadPowerShellCalls(), "");

        ASSERT_TRUE(AddServiceStatus(kServedPackagePath, 404, 1));
        PressAndAnswer(window, run.pid, IDC_MAIN_ACTION, kInstallQuestion, IDYES);
        EXPECT_EQ(AnswerErrorBox(window, run.pid, L"install-download-failed"),
                  L"The client download was interrupted. Run the launcher again to resume.");
        ExpectIdle(window, kReady);
        ExpectPlayerFiles(install.path);

        EXPECT_EQ(CloseLauncher(window, run), 0u);
    }

    // The next run repairs with a sound package and keeps the player's files.
    ASSERT_TRUE(ResetService());
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    PressAndAnswer(window, run.pid, IDC_REPAIR, kRepairQuestion, IDYES);
    ASSERT_TRUE(WaitForCurrent(window));
    ExpectPlayerFiles(install.path);
    ExpectNoHoldingCopies();
    EXPECT_EQ(CloseLauncher(window, run), 0u);
}

TEST_F(InstallFromTheWindow, WithoutAManifestNeitherButtonInstallsRepairsOrPlays) {
    ASSERT_TRUE(AddServiceStatus(kServedManifestPath, 503));
    TempFolder install;
    ASSERT_TRUE(WriteInstallPath(install.path));
    LauncherRun run;
    HWND window = StartLauncherWindow(run);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"Retry");
    const size_t fetches = CountRequestsTo(kServedManifestPath);

    const std::wstring reason = L"Could not download the Hollowmere update manifest.";
    size_t press = 0;
    for (int button : {IDC_REPAIR, IDC_MAIN_ACTION}) {
        SetControlText(window, IDC_STATUS, L"");
        ClickControl(window, button);
        EXPECT_EQ(WaitForControlText(window, IDC_STATUS, reason, kBoxWaitMs), reason);
        EXPECT_TRUE(NoMessageBoxFor(run.pid, 300));
        EXPECT_EQ(CountRequestsTo(kServedManifestPath), fetches + ++press);  // each press fetches again
    }
    EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), L"Retry");
    EXPECT_TRUE(IsControlEnabled(window, IDC_MAIN_ACTION));
    EXPECT_EQ(CountRequestsTo(kServedPackagePath), 0u);
    EXPECT_EQ(ReadPowerShellCalls(), "");
    EXPECT_EQ(CloseLauncher(window, run), 0u);
}

}  // namespace
