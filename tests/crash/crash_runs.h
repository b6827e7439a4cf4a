#pragma once
#include <windows.h>

#include <cstdint>
#include <random>
#include <string>

#include "support/window_driver.h"

// Shared pieces of the crash tests: start a writer, kill it hard at a random moment,
// and keep the counts that the tests print at the end.

// Every crash test draws its kill moments from this seed, so a failing run can be
// repeated exactly.
constexpr std::uint32_t kCrashSeed = 20261207;

// A named event the writer sets once its first write is complete.
struct ReadyEvent {
    HANDLE handle = nullptr;
    std::wstring name;
    ReadyEvent();
    ~ReadyEvent();
    ReadyEvent(const ReadyEvent&) = delete;
    ReadyEvent& operator=(const ReadyEvent&) = delete;
    // True once set; false after the time-out or when the process ends first.
    bool WaitWhileRunning(const LauncherRun& run, DWORD timeoutMs) const;
};

// Starts the test-only driver that runs one of the launcher's writes in a loop or once.
bool StartCrashWriter(const std::wstring& arguments, LauncherRun& run);

// Ends the process at once, as a crash or the task manager would. True when it was
// still running, false when it had already ended by itself.
bool KillHard(LauncherRun& run);

// What a poll can see of a file from outside the process that writes it.
struct FileStamp {
    bool exists = false;
    long long size = 0;
    FILETIME written = {};
};
FileStamp StampOf(const std::wstring& path);

// Waits for the moment of one kill: half the draws pick a random time within windowMs,
// the others aim at the next write of path (its first sign, then 0 to 2 ms more).
// True when the kill is aimed.
bool WaitForKillMoment(std::mt19937& random, int windowMs, const std::wstring& path, const std::wstring& temporary,
                       const LauncherRun& run);

// The file's size, or -1 when there is no such file.
long long FileSize(const std::wstring& path);

// Polls until the file holds at least size bytes, the process ends or the time runs out.
void WaitForFileSize(const std::wstring& path, long long size, const LauncherRun& run, DWORD timeoutMs);

// True when part is the first part.size() bytes of whole.
bool IsPrefixOf(const std::string& part, const std::string& whole);

// The Range header of the first request for path since the service's record was last
// cleared: "none" when it had none, empty when there was no such request.
std::string FirstRangeRequested(const std::string& path);

// Milliseconds since an arbitrary start, for timing a cycle of writes.
double NowMs();

// A whole number from low to high inclusive.
int RandomBetween(std::mt19937& random, int low, int high);

// A quoted command-line argument (paths here hold no quotes of their own).
std::wstring Quoted(const std::wstring& text);

// Prints one summary line that the reliability notes quote.
void PrintCrashSummary(const std::string& line);
