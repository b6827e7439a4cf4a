#include "app/main_window.h"

MainWindowState& MainWindow() {
    static MainWindowState state;
    return state;
}

void SetStatusText(const std::wstring& text) {
    HWND status = MainWindow().statusLine;
    if (!status) return;
    SetWindowTextW(status, text.c_str());
    UpdateWindow(status);
}

// The main window's controls, start checks and commands arrive with their own work;
// for now it is the bare fixed-size window that ends the process when closed.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}
