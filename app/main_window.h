#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "net/transfer_figures.h"

// Control ids of the main window.
constexpr int IDC_INSTALL_PATH = 1019;
constexpr int IDC_BROWSE = 1020;
constexpr int IDC_MAIN_ACTION = 1021;
constexpr int IDC_REPAIR = 1022;
constexpr int IDC_SETTINGS = 1023;
constexpr int IDC_SIGN_OUT = 1024;
constexpr int IDC_STATUS = 1025;
constexpr int IDC_PROGRESS = 1026;

// Messages the workers post; lParam is a heap record that belongs to the window once
// the post succeeded (null is allowed).
constexpr UINT WM_INSTALL_PROGRESS = WM_APP + 1;     // InstallProgress*
constexpr UINT WM_INSTALL_DONE = WM_APP + 2;         // InstallResult*
constexpr UINT WM_MANIFEST_CHECKED = WM_APP + 3;     // ManifestChecked* (app/window_work.h)
constexpr UINT WM_LAUNCHER_PROGRESS = WM_APP + 4;    // LauncherProgress*
constexpr UINT WM_LAUNCHER_DOWNLOADED = WM_APP + 5;  // LauncherDownloaded*
constexpr UINT WM_SIGN_IN_ANSWERED = WM_APP + 6;     // SignInAnswered*

// What the window waits for. Only Idle leaves every button to the player; the others
// have a worker running, and the main action reads "Cancel" where it can stop it.
enum class WindowWork { Idle, CheckingForUpdates, UpdatingLauncher, Installing, SigningIn };
// What follows an update check: a refresh (with the launcher's own update), or the
// question of an install or a repair.
enum class AfterCheck { Refresh, Install, Repair };

struct WorkControl;

// The main window's controls and what it is waiting for; UI thread only.
struct MainWindowState {
    HWND folderBox = nullptr;
    HWND mainAction = nullptr;
    HWND repairButton = nullptr;
    HWND statusLine = nullptr;
    HWND accountLine = nullptr;
    HWND progressBar = nullptr;
    WindowWork work = WindowWork::Idle;
    AfterCheck afterCheck = AfterCheck::Refresh;
    std::wstring checkedFolder;  // the folder an install or repair waits for the check with
    unsigned job = 0;  // the running worker's number: a report of any other is stale
    std::shared_ptr<WorkControl> control;  // shared with the running worker
    TransferRate download;  // the package's progress so far, for its speed and time left
};

MainWindowState& MainWindow();

// The launcher window of main mode.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Builds the controls and starts the update check, whose result the window takes
// when it arrives (the launcher's own update may follow).
void CreateMainControls(HWND window);

// Recomputes the status line, the main action's label and the account line from the
// folder box (or the stored folder without one), the manifest and the saved session.
// While a worker runs only the account line changes: the rest tells of the work.
void RefreshMainWindow();

// Puts the window into work (or back to Idle): the buttons each state allows, the main
// action's "Cancel" where the work can be stopped, and the progress bar.
void SetWindowWork(WindowWork work);

// Sets the status line's text and repaints it at once; nothing without a status line.
void SetStatusText(const std::wstring& text);

// The folder box's current text; empty without a folder box.
std::wstring ReadFolderBoxText();

// Switches the progress bar between the moving (unknown progress) and the positioned
// look. The marquee style itself is switched too: a bar that keeps it shows no position.
void SetProgressMarquee(bool moving);
