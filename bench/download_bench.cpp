// Measures the launcher's download and digest against the least the platform itself
// can spend on the same work. Run by bench/download_bench.sh, one measurement per
// process, each printing key=value lines:
//   download_bench download <url> <target> <size> <digest>
//   download_bench bare-get <url> [<file>]
//   download_bench sha <file>
//   download_bench bare-sha <file>
//   download_bench rebuild <url> <kept package, rewritten in place> <size> <digest>
#include <windows.h>
#include <bcrypt.h>
#include <psapi.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "install/install_client.h"
#include "net/download.h"
#include "net/http_requests.h"
#include "net/service_interface.h"
#include "net/winhttp_session.h"
#include "update/update_manifest.h"

namespace {

constexpr DWORD kBufferSize = 1048576;

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User and kernel time of this process: unlike the wall clock, it hardly moves when
// other work on the machine delays the process.
double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

double PeakWorkingSetMib() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
}

void PrintMemory(double baseline) {
    std::printf("peak_mib=%.1f\nbaseline_mib=%.1f\ngrowth_mib=%.1f\n", PeakWorkingSetMib(), baseline,
                PeakWorkingSetMib() - baseline);
}

int RunDownload(const std::wstring& url, const std::wstring& target, std::uint64_t size, const std::wstring& digest) {
    const double baseline = PeakWorkingSetMib();
    double verifyingAt = 0;
    double verifyingCpu = 0;
    const ProgressCallback progress = [&verifyingAt, &verifyingCpu](const wchar_t* text, int) {
        if (std::wstring(text) == L"Verifying download") {
            verifyingAt = Now();
            verifyingCpu = CpuSeconds();
        }
    };
    std::wstring message;
    const double startCpu = CpuSeconds();
    const double start = Now();
    const bool ok = DownloadVerifiedFile(url, target, size, digest, message, progress);
    const double end = Now();
    const double endCpu = CpuSeconds();
    if (!ok) {
        std::printf("error=%ls\n", message.c_str());
        return 1;
    }
    std::printf("transfer_s=%.3f\nverify_s=%.3f\ntotal_s=%.3f\n", verifyingAt - start, end - verifyingAt, end - start);
    std::printf("transfer_cpu_s=%.3f\nverify_cpu_s=%.3f\n", verifyingCpu - startCpu, endCpu - verifyingCpu);
    PrintMemory(baseline);
    return 0;
}

// Session, request, 1 MiB reads into one buffer, nothing else; with a file, each read
// is also written there with WriteFile, the least a program that keeps the bytes spends.
int RunBareGet(const std::wstring& url, const std::wstring& outputPath) {
    const double baseline = PeakWorkingSetMib();
    ServiceUrlParts parts;
    if (!SplitServiceUrl(url, parts, kGetUrlPathCapacity)) return 1;
    const double startCpu = CpuSeconds();
    const double start = Now();
    InternetHandle session(OpenServiceSession(kGetUserAgent, kDownloadTimeouts));
    InternetHandle connection;
    InternetHandle request(session ? OpenServiceRequest(session.handle, parts, L"GET", connection) : nullptr);
    DWORD status = 0;
    if (!request ||
        !WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.handle, nullptr) || !ReadStatusCode(request.handle, status) || status != 200) {
        std::printf("error=request failed\n");
        return 1;
    }
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputPath.empty()) {
        output = CreateFileW(outputPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (output == INVALID_HANDLE_VALUE) return 1;
    }
    std::vector<char> buffer(kBufferSize, '\0');
    std::uint64_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!WinHttpReadData(request.handle, buffer.data(), kBufferSize, &read)) {
            std::printf("error=read failed\n");
            return 1;
        }
        if (read == 0) break;
        DWORD written = 0;
        if (output != INVALID_HANDLE_VALUE && (!WriteFile(output, buffer.data(), read, &written, nullptr) || written != read))
            return 1;
        total += read;
    }
    if (output != INVALID_HANDLE_VALUE && !CloseHandle(output)) return 1;
    const double end = Now();
    std::printf("bytes=%llu\ntransfer_s=%.3f\ntransfer_cpu_s=%.3f\n", static_cast<unsigned long long>(total),
                end - start, CpuSeconds() - startCpu);
    PrintMemory(baseline);
    return 0;
}

int RunSha(const std::wstring& path) {
    const double baseline = PeakWorkingSetMib();
    std::wstring digest;
    const double startCpu = CpuSeconds();
    const double start = Now();
    if (!Sha256OfFile(path, digest)) {
        std::printf("error=digest failed\n");
        return 1;
    }
    const double end = Now();
    std::printf("digest=%ls\nverify_s=%.3f\nverify_cpu_s=%.3f\n", digest.c_str(), end - start, CpuSeconds() - startCpu);
    PrintMemory(baseline);
    return 0;
}

// CreateFile, 1 MiB ReadFile, BCryptHashData, nothing else.
int RunBareSha(const std::wstring& path) {
    const double startCpu = CpuSeconds();
    const double start = Now();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    std::vector<UCHAR> buffer(kBufferSize, 0);
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), kBufferSize, &read, nullptr) && read > 0)
        BCryptHashData(hash, buffer.data(), read, 0);
    UCHAR value[32] = {};
    BCryptFinishHash(hash, value, sizeof(value), 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    CloseHandle(file);
    const double end = Now();
    std::printf("digest=");
    for (UCHAR byte : value) std::printf("%02X", byte);
    std::printf("\nverify_s=%.3f\nverify_cpu_s=%.3f\n", end - start, CpuSeconds() - startCpu);
    return 0;
}

// The new release written from the kept one by the launcher's plan: the plan (the new
// package's end and directory fetched, the kept one's read), then the copies and range
// requests, the digest as the bytes are written, and the package in place.
int RunRebuild(const std::wstring& url, const std::wstring& package, std::uint64_t size, const std::wstring& digest) {
    const double baseline = PeakWorkingSetMib();
    UpdateManifest manifest;
    manifest.client_url = url;
    manifest.client_size = size;
    manifest.client_sha256 = digest;
    const double start = Now();
    ReusePlan plan;
    if (!PlanFromKeptPackage(package, manifest, plan)) {
        std::printf("error=no plan\n");
        return 1;
    }
    const double planned = Now();
    DownloadControl control;
    bool reuseFailed = false;
    control.reuse = &plan;
    control.reuseFailed = &reuseFailed;
    std::wstring message;
    if (!DownloadVerifiedFile(url, package, size, digest, message, ProgressCallback(), DownloadSubject::Client,
                              control)) {
        std::printf("error=%ls\n", message.c_str());
        return 1;
    }
    const double end = Now();
    std::uint64_t copied = 0;
    for (const FilePiece& piece : plan.pieces) copied += piece.fromKept ? piece.length : 0;
    std::printf("plan_s=%.3f\ntotal_s=%.3f\nplanned_fetch=%llu\ncopied=%llu\n", planned - start, end - start,
                static_cast<unsigned long long>(plan.fetchedBytes + plan.knownEnd.size()),
                static_cast<unsigned long long>(copied));
    PrintMemory(baseline);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"download" && argc == 6)
        return RunDownload(argv[2], argv[3], std::wcstoull(argv[4], nullptr, 10), argv[5]);
    if (mode == L"bare-get" && (argc == 3 || argc == 4)) return RunBareGet(argv[2], argc == 4 ? argv[3] : L"");
    if (mode == L"sha" && argc == 3) return RunSha(argv[2]);
    if (mode == L"bare-sha" && argc == 3) return RunBareSha(argv[2]);
    if (mode == L"rebuild" && argc == 6)
        return RunRebuild(argv[2], argv[3], std::wcstoull(argv[4], nullptr, 10), argv[5]);
    std::fprintf(stderr, "usage: download_bench download|bare-get|sha|bare-sha ...\n");
    return 2;
}
