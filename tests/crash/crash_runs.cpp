#include "crash/crash_runs.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "support/service_control.h"

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

bool StartCrashWriter(const std::wstring& arguments, LauncherRun& run) {
    return StartLauncher(arguments, run, HOLLOWMERE_TEST_CRASH_WRITER_EXE);
}

bool KillHard(LauncherRun& run) {
    const bool running = WaitForSingleObject(run.process, 0) == WAIT_TIMEOUT;
    if (running) TerminateProcess(run.process, 99);
    // Only once the process is gone is what it left on disk final.
    WaitForSingleObject(run.process, 10000);
    return running;
}

FileStamp StampOf(const std::wstring& path) {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return stamp;
    stamp.exists = true;
    stamp.size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.written = data.ftLastWriteTime;
    return stamp;
}

namespace {

// Polls until a write of path has visibly begun: the file beside it (temporary) exists,
// or path's size or last-write time is no longer as in before. This is how kills are
// aimed at the write itself, whatever way the writer goes about it. False when the
// process ended or the time ran out first.
bool WaitForWriteToBegin(const std::wstring& path, const std::wstring& temporary, const FileStamp& before,
                         const LauncherRun& run, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        if (GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        const FileStamp now = StampOf(path);
        if (now.exists != before.exists || now.size != before.size ||
            CompareFileTime(&now.written, &before.written) != 0) {
            return true;
        }
        if (WaitForSingleObject(run.process, 0) != WAIT_TIMEOUT) return false;
    }
    return false;
}

}  // namespace

bool WaitForKillMoment(std::mt19937& random, int windowMs, const std::wstring& path, const std::wstring& temporary,
                       const LauncherRun& run) {
    if (RandomBetween(random, 0, 1) == 0) {
        Sleep(static_cast<DWORD>(RandomBetween(random, 0, windowMs)));
        return false;
    }
    // Three in five aimed kills follow the first sign at once: a write of a few megabytes
    // takes only a millisecond or two.
    const int extraMs = RandomBetween(random, -2, 2);
    WaitForWriteToBegin(path, temporary, StampOf(path), run, 10000);
    if (extraMs > 0) Sleep(static_cast<DWORD>(extraMs));
    return true;
}

long long FileSize(const std::wstring& path) {
    const FileStamp stamp = StampOf(path);
    return stamp.exists ? stamp.size : -1;
}

void WaitForFileSize(const std::wstring& path, long long size, const LauncherRun& run, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (FileSize(path) < size && WaitForSingleObject(run.process, 2) == WAIT_TIMEOUT &&
           GetTickCount64() < deadline) {
    }
}

bool IsPrefixOf(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

std::string FirstRangeRequested(const std::string& path) {
    std::vector<RecordedRequest> requests;
    if (!ReadServiceRequests(requests)) return "(no record)";
    for (const RecordedRequest& request : requests) {
        if (request.target != path) continue;
        return request.HasHeader("Range") ? request.Header("Range") : "none";
    }
    return std::string();
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
