#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <future>
#include <memory>

#include "app/main_window.h"
#include "install/install_records.h"

// The worker's completion record: retried while the window exists, freed when it is gone.

namespace {

std::atomic<int> resultPosts{0};
std::atomic<int> refusals{0};

BOOL WINAPI RefuseSomeResultPosts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INSTALL_DONE && resultPosts.fetch_add(1) < refusals.load()) return FALSE;
    return PostMessageW(window, message, wParam, lParam);
}

struct PostSeam {
    PostSeam() { SetInstallPostFunctionForTesting(RefuseSomeResultPosts); }
    ~PostSeam() { SetInstallPostFunctionForTesting(nullptr); }
};

TEST(DeliverInstallResult, RetriesARefusedPostAndGivesUpOnlyWhenTheWindowIsGone) {
    PostSeam seam;
    HWND window = CreateWindowExW(0, L"STATIC", L"install result target", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);

    resultPosts = 0;
    refusals = 3;
    EXPECT_TRUE(DeliverInstallResult(window, false, L"Windows could not extract the client package."));
    EXPECT_EQ(resultPosts.load(), 4);
    MSG message = {};
    ASSERT_TRUE(PeekMessageW(&message, window, WM_INSTALL_DONE, WM_INSTALL_DONE, PM_REMOVE));
    std::unique_ptr<InstallResult> record(reinterpret_cast<InstallResult*>(message.lParam));  // the window's now
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->success);
    EXPECT_EQ(record->message, L"Windows could not extract the client package.");
    EXPECT_FALSE(PeekMessageW(&message, window, WM_INSTALL_DONE, WM_INSTALL_DONE, PM_REMOVE));  // posted once

    // Every post refused: the worker keeps trying until the window has been destroyed.
    resultPosts = 0;
    refusals = 1000000;
    auto delivered = std::async(std::launch::async, [window] { return DeliverInstallResult(window, true, L""); });
    for (int i = 0; i < 500 && resultPosts.load() < 3; ++i) Sleep(10);
    EXPECT_GE(resultPosts.load(), 3);
    EXPECT_EQ(delivered.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    DestroyWindow(window);
    EXPECT_FALSE(delivered.get());
    const int attempts = resultPosts.load();
    Sleep(250);
    EXPECT_EQ(resultPosts.load(), attempts);  // it has stopped
}

}  // namespace
