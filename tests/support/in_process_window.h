#pragma once
#include <future>
#include <vector>

#include "support/clean_world.h"
#include "support/window_driver.h"

// window_driver.h brings windows.h, <functional> and <string>.

// The main window created inside the test process, for what another process cannot do
// to it: post the install worker's records (plain pointers), use the install's seams.

// Dispatches every message waiting for this thread's windows.
void PumpMessages();
// Pumps until done() holds; false after the time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

struct BoxSeen {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    BoxIcon icon = BoxIcon::None;
};
// Answers this process's next boxes in turn from another thread, since each box runs
// modally on the test's own thread; stops early when a box does not come.
std::future<std::vector<BoxSeen>> AnswerBoxes(std::vector<int> buttons);
// The answered boxes, pumping this thread's messages until they are all in.
std::vector<BoxSeen> PumpUntilAnswered(std::future<std::vector<BoxSeen>>& answers);

// Registers the launcher's class once for the suite; each test starts in a clean world
// whose stored install folder is folder (empty: nothing installed there).
class InProcessMainWindow : public CleanWorld {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    // Creates and shows the window, and returns once its update check has been taken.
    HWND OpenWindow();

    HWND window = nullptr;
};
