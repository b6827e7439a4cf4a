#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/main_window.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/client_package.h"
#include "support/in_process_window.h"
#include "support/service_control.h"

// What the window shows once its update check is done: the service, the version in the
// install folder and the saved sign-in decide the status line, the main button and the
// account line.

namespace {

class MainWindowStatus : public InProcessMainWindow {
protected:
    void TearDown() override {
        InProcessMainWindow::TearDown();
        ResetService();
    }
};

TEST_F(MainWindowStatus, FollowsTheUpdateCheckTheInstalledVersionAndTheSavedSignIn) {
    const std::string served = ServedClientVersion();
    ASSERT_FALSE(served.empty());
    std::string package;
    ASSERT_TRUE(ReadServiceFile(kServedPackagePath, package));
    const std::string frostfall = "1.0.1 \u2013 Frostfall", zoe = "Zo\u00eb 1.0";
    struct Row {
        bool serviceDown;
        std::string published;  // empty: the demo release
        std::string marker;     // empty: no client installed
        const wchar_t* name;    // null: nobody signed in
        const wchar_t *status, *button, *account;
    };
    const Row rows[] = {
        {true, "", served, L"Wren", L"Unable to check updates. Check your internet connection.", L"Retry",
         L"Signed in as Wren"},
        {false, "", "", L"", L"Sarnhold is ready to install", L"INSTALL", L"Signed in with Discord"},
        {false, "", "0.9.0", nullptr, L"Sarnhold is ready to install", L"INSTALL",
         L"Not signed in - Discord opens on first Play"},
        {false, "", served, L"Wren", L"Client up to date", L"PLAY", L"Signed in as Wren"},
        // Markers are UTF-8; an older launcher wrote one byte per character.
        {false, frostfall, frostfall, L"Wren", L"Client up to date", L"PLAY", L"Signed in as Wren"},
        {false, frostfall, "1.0.1 - Frostfall", L"Wren", L"Sarnhold is ready to install", L"INSTALL",
         L"Signed in as Wren"},
        {false, zoe, "Zo\xEB 1.0", L"Wren", L"Client up to date", L"PLAY", L"Signed in as Wren"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.marker + (row.serviceDown ? ", service down" : ""));
        ASSERT_TRUE(ResetService());
        if (row.serviceDown) ASSERT_TRUE(AddScenario(kServedManifestPath, "status=503"));
        if (!row.published.empty()) ASSERT_TRUE(ServeClientPackage(package, row.published));
        DeleteFileW((folder / kClientExecutableName).c_str());
        if (!row.marker.empty()) {
            ASSERT_TRUE(WriteFileBytes(folder / kClientExecutableName, "MZ"));
            ASSERT_TRUE(WriteFileBytes(folder / kClientVersionMarkerName, row.marker + "\r\n"));
        }
        DeleteFileW(SessionFilePath().c_str());
        if (row.name) ASSERT_TRUE(SaveSession("device-token") && WriteAccountName(row.name));
        ASSERT_NE(OpenWindow(), nullptr);
        EXPECT_EQ(ReadControlText(window, IDC_STATUS), row.status);
        EXPECT_EQ(ReadControlText(window, IDC_MAIN_ACTION), row.button);
        wchar_t account[128] = {};
        GetWindowTextW(MainWindow().accountLine, account, 128);
        EXPECT_EQ(std::wstring(account), row.account);
        DestroyWindow(window);
        PumpMessages();
    }
}

}  // namespace
