#include "net/download.h"

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <vector>

#include "net/http_requests.h"
#include "net/service_interface.h"
#include "net/winhttp_session.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kInvalidUrlMessage = L"Invalid download URL.";
constexpr const wchar_t* kNoSessionMessage = L"Could not initialize the download.";
constexpr const wchar_t* kInterruptedMessage = L"The client download was interrupted. Run the launcher again to resume.";
constexpr const wchar_t* kIncompleteMessage = L"The client download was interrupted or incomplete.";
constexpr const wchar_t* kSecurityCheckMessage = L"The downloaded client failed its security check.";
constexpr const wchar_t* kFinalizeMessage = L"Could not finalize the downloaded file.";

constexpr const wchar_t* kPartialFileSuffix = L".download";
constexpr const wchar_t* kDownloadingText = L"Downloading";
constexpr const wchar_t* kVerifyingText = L"Verifying download";

// One read from the network and one read from the disk move this much at a time.
constexpr std::size_t kTransferBufferSize = 1048576;

// Owners for the two BCrypt handles. Declare the provider before the hash object's
// memory and the hash, so the hash is destroyed first.
struct AlgorithmProvider {
    BCRYPT_ALG_HANDLE handle = nullptr;
    AlgorithmProvider() = default;
    ~AlgorithmProvider() {
        if (handle) BCryptCloseAlgorithmProvider(handle, 0);
    }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;
};

struct HashHandle {
    BCRYPT_HASH_HANDLE handle = nullptr;
    HashHandle() = default;
    ~HashHandle() {
        if (handle) BCryptDestroyHash(handle);
    }
    HashHandle(const HashHandle&) = delete;
    HashHandle& operator=(const HashHandle&) = delete;
};

void Report(const ProgressCallback& progress, const wchar_t* text, int percent) {
    if (progress) progress(text, percent);
}

// offset as a share of size, rounded down. A server that sends more than announced
// can push it past 100; it only saturates where an int would overflow.
int PercentOf(std::uint64_t offset, std::uint64_t size) {
    return static_cast<int>(std::min<std::uint64_t>(offset * 100 / size, INT_MAX));
}

// The length of a partial file left by an earlier call, which is where this call resumes.
// A partial file that cannot be measured is of no use and goes; a folder standing in
// its place is left for the open to fail on.
std::uint64_t ResumeOffset(const fs::path& partial) {
    std::error_code error;
    const fs::file_status status = fs::status(partial, error);
    if (!error && fs::exists(status) && !fs::is_regular_file(status)) return 0;
    std::uint64_t size = 0;
    if (!error && fs::exists(status)) {
        size = fs::file_size(partial, error);
        if (!error) return size;
    }
    std::error_code ignored;
    fs::remove(partial, ignored);
    return 0;
}

// Sends the GET, asking for the bytes from offset on when resuming, and decides from
// the status alone whether the body continues the partial file (206) or replaces it (200).
bool RequestFrom(HINTERNET request, std::uint64_t& offset) {
    const std::wstring range =
        offset > 0 ? L"Range: bytes=" + std::to_wstring(offset) + L"-\r\n" : std::wstring();
    const bool sent =
        offset > 0 ? WinHttpSendRequest(request, range.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA,
                                        0, 0, 0)
                   : WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    DWORD status = 0;
    if (!sent || !WinHttpReceiveResponse(request, nullptr) || !ReadStatusCode(request, status)) return false;
    if (status == 200) {
        offset = 0;
        return true;
    }
    return offset > 0 && status == 206;
}

// Fetches the rest of the resource into the partial file, counting every byte handed
// to the file in offset. False when anything between the connection and the final
// close of the file fails; the bytes written so far stay in the file.
bool TransferToPartialFile(HINTERNET session, const ServiceUrlParts& parts, const fs::path& partial,
                           std::uint64_t expectedSize, std::uint64_t& offset, const ProgressCallback& progress) {
    InternetHandle connection;
    InternetHandle request(OpenServiceRequest(session, parts, L"GET", connection));
    const bool answered = request && RequestFrom(request.handle, offset);

    // Opened whatever the answer, so that a failed fresh start still leaves an empty file.
    std::ofstream file(partial, std::ios::binary | (offset > 0 ? std::ios::app : std::ios::trunc));
    bool complete = answered && file.is_open();
    if (complete) {
        std::vector<char> buffer(kTransferBufferSize, '\0');
        for (;;) {
            DWORD read = 0;
            if (!WinHttpReadData(request.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
                complete = false;
                break;
            }
            if (read == 0) break;
            if (!file.write(buffer.data(), read)) {
                complete = false;
                break;
            }
            offset += read;
            if (expectedSize > 0) Report(progress, kDownloadingText, PercentOf(offset, expectedSize));
        }
    }
    // The last bytes reach the disk only here; a full disk may first show now.
    if (file.is_open()) {
        file.close();
        if (file.fail()) complete = false;
    }
    return complete;
}

// Digests are compared as whole texts, ignoring the case of the hexadecimal letters.
bool SameDigest(const std::wstring& computed, const std::wstring& expected) {
    if (computed.size() != expected.size()) return false;
    for (std::size_t i = 0; i < computed.size(); ++i) {
        if (std::towupper(computed[i]) != std::towupper(expected[i])) return false;
    }
    return true;
}

}  // namespace

bool DownloadVerifiedFile(const std::wstring& url, const std::wstring& target, std::uint64_t expectedSize,
                          const std::wstring& expectedDigest, std::wstring& message,
                          const ProgressCallback& progress) {
    ServiceUrlParts parts;
    if (!SplitServiceUrl(url, parts, kGetUrlPathCapacity)) {
        message = kInvalidUrlMessage;
        return false;
    }

    const fs::path targetPath(target);
    const fs::path partial(target + kPartialFileSuffix);
    std::error_code ignored;
    // A folder that cannot be made shows later, when the partial file cannot be opened.
    if (targetPath.has_parent_path()) fs::create_directories(targetPath.parent_path(), ignored);

    std::uint64_t offset = ResumeOffset(partial);
    if (expectedSize > 0 && offset > expectedSize) {
        // More bytes than the resource has: not a prefix of it.
        fs::remove(partial, ignored);
        offset = 0;
    }
    Report(progress, kDownloadingText, expectedSize > 0 ? PercentOf(offset, expectedSize) : 0);

    if (expectedSize == 0 || offset < expectedSize) {
        InternetHandle session(OpenServiceSession(kGetUserAgent, kDownloadTimeouts));
        if (!session) {
            message = kNoSessionMessage;
            return false;
        }
        if (!TransferToPartialFile(session.handle, parts, partial, expectedSize, offset, progress)) {
            message = kInterruptedMessage;
            return false;
        }
    }
    if (expectedSize > 0 && offset != expectedSize) {
        message = kIncompleteMessage;
        return false;
    }

    Report(progress, kVerifyingText, 100);
    std::wstring digest;
    if (!Sha256OfFile(partial.wstring(), digest)) {
        message = kSecurityCheckMessage;
        return false;
    }
    if (!SameDigest(digest, expectedDigest)) {
        // Kept, these bytes would be verified (or, with an unknown size, resumed past
        // their end) on every later attempt and fail the same way forever.
        fs::remove(partial, ignored);
        message = kSecurityCheckMessage;
        return false;
    }

    const DWORD moveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
    if (!MoveFileExW(partial.c_str(), target.c_str(), moveFlags)) {
        DeleteFileW(target.c_str());
        if (!MoveFileExW(partial.c_str(), target.c_str(), moveFlags)) {
            message = kFinalizeMessage;
            return false;
        }
    }
    return true;
}

bool Sha256OfFile(const std::wstring& path, std::wstring& digest) {
    std::ifstream file(fs::path(path), std::ios::binary);
    if (!file.is_open()) return false;

    AlgorithmProvider algorithm;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    DWORD objectLength = 0;
    ULONG written = 0;
    if (!BCRYPT_SUCCESS(BCryptGetProperty(algorithm.handle, BCRYPT_OBJECT_LENGTH,
                                          reinterpret_cast<PUCHAR>(&objectLength), sizeof(objectLength), &written,
                                          0)))
        return false;
    std::vector<UCHAR> hashObject(objectLength, 0);
    HashHandle hash;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.handle, &hash.handle, hashObject.data(), objectLength, nullptr,
                                         0, 0)))
        return false;

    std::vector<char> buffer(kTransferBufferSize, '\0');
    while (file.good()) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize read = file.gcount();
        if (read > 0 &&
            !BCRYPT_SUCCESS(BCryptHashData(hash.handle, reinterpret_cast<PUCHAR>(buffer.data()),
                                           static_cast<ULONG>(read), 0)))
            return false;
    }
    // A read error is not the end of the file: a digest of part of it would be wrong.
    if (file.bad()) return false;

    UCHAR value[32] = {};
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.handle, value, sizeof(value), 0))) return false;
    static const wchar_t kHexDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(64);
    for (UCHAR byte : value) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    }
    digest = text;
    return true;
}
