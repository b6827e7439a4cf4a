#pragma once
#include <windows.h>

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

// Messages the install worker posts; lParam is a heap record that belongs to the
// window once the post succeeded (null is allowed).
constexpr UINT WM_INSTALL_PROGRESS = WM_APP + 1;  // InstallProgress*
constexpr UINT WM_INSTALL_DONE = WM_APP + 2;      // InstallResult*

// The main window's controls and busy flag; UI thread only.
struct MainWindowState {
    HWND folderBox = nullptr;
    HWND mainAction = nullptr;
    HWND statusLine = nullptr;
    HWND accountLine = nullptr;
    HWND progressBar = nullptr;
    bool busy = false;  // an install or repair is running
    TransferRate download;  // the package's progress so far, for its speed and time left
};

MainWindowState& MainWindow();

// The launcher window of main mode.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Builds the controls, runs the update check and the self-update check, then
// refreshes. False when the self-update has taken over and window is already gone.
bool CreateMainControls(HWND window);

// Recomputes the status line, the main action's label and the account line from the
// folder box (or the stored folder without one), the manifest and the saved session.
void RefreshMainWindow();

// Sets the status line's text and repaints it at once; nothing without a status line.
void SetStatusText(const std::wstring& text);

// The folder box's current text; empty without a folder box.
std::wstring ReadFolderBoxText();

// Switches the progress bar between the moving (unknown progress) and the positioned
// look. The marquee style itself is switched too: a bar that keeps it shows no position.
void SetProgressMarquee(bool moving);
