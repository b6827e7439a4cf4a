#include "crash/crash_runs.h"

#include <chrono>
#include <cstdio>

ReadyEvent::ReadyEvent() {
    static int created = 0;
    name = L"HollowmereCrashReady-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++created);
    handle = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
}

ReadyEvent::~ReadyEvent() {
    if (handle) CloseHandle(handle);
}

bool ReadyEvent::WaitWhileRunning(const LauncherRun& run, DWORD timeoutMs) const {
    if (!handle) return false;
    const HANDLE both[2] = {handle, run.process};
    return WaitForMultipleObjects(2, both, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

std::wstring CrashWriterExe() { return HOLLOWMERE_TEST_CRASH_WRITER_EXE; }

bool StartCrashWriter(const std::wstring& arguments, LauncherRun& run) {
    return StartLauncher(arguments, run, CrashWriterExe());
}

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

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

void PrintCrashSummary(const std::string& line) {
    std::printf("[ crash    ] %s\n", line.c_str());
    std::fflush(stdout);
}
