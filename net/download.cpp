#include "net/download.h"

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <condition_variable>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/http_requests.h"
#include "net/service_interface.h"
#include "net/winhttp_session.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kInvalidUrlMessage = L"Invalid download URL.";
constexpr const wchar_t* kNoSessionMessage = L"Could not initialize the download.";
constexpr const wchar_t* kFinalizeMessage = L"Could not finalize the downloaded file.";

// The sentences that name what is downloaded, for the client and for the launcher's own update.
struct SubjectMessages {
    const wchar_t* interrupted;
    const wchar_t* incomplete;
    const wchar_t* securityCheck;
};
const SubjectMessages kSubjectMessages[] = {
    {L"The client download was interrupted. Run the launcher again to resume.",
     L"The client download was interrupted or incomplete.", L"The downloaded client failed its security check."},
    {L"The launcher update download was interrupted. Run the launcher again to resume.",
     L"The launcher update download was interrupted or incomplete.",
     L"The downloaded launcher update failed its security check."},
};

constexpr const wchar_t* kPartialFileSuffix = L".download";
constexpr const wchar_t* kReleaseRecordSuffix = L".release";
constexpr const wchar_t* kDownloadingText = L"Downloading";
constexpr const wchar_t* kVerifyingText = L"Verifying download";
constexpr const wchar_t* kCheckingPackageText = L"Checking the downloaded package";

// One read from the network and one read from the disk move this much at a time.
constexpr std::size_t kTransferBufferSize = 1048576;

// With an unknown size (the launcher's own update) a server that never stops sending is
// cut off here; no launcher comes near it.
constexpr std::uint64_t kUnknownSizeLimit = 256ull * 1048576;

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
    ~HashHandle() { Close(); }
    void Close() {
        if (handle) BCryptDestroyHash(handle);
        handle = nullptr;
    }
    HashHandle(const HashHandle&) = delete;
    HashHandle& operator=(const HashHandle&) = delete;
};

// A SHA-256 fed piece by piece, so the bytes of a download are hashed as they arrive.
struct RunningSha256 {
    AlgorithmProvider algorithm;
    std::vector<UCHAR> object;
    HashHandle hash;
};

// (Re)starts the digest from no bytes. False when the system's hashing fails.
bool StartSha256(RunningSha256& sha) {
    sha.hash.Close();
    if (!sha.algorithm.handle) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&sha.algorithm.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return false;
        DWORD objectLength = 0;
        ULONG written = 0;
        if (!BCRYPT_SUCCESS(BCryptGetProperty(sha.algorithm.handle, BCRYPT_OBJECT_LENGTH,
                                              reinterpret_cast<PUCHAR>(&objectLength), sizeof(objectLength),
                                              &written, 0)))
            return false;
        sha.object.assign(objectLength, 0);
    }
    return BCRYPT_SUCCESS(BCryptCreateHash(sha.algorithm.handle, &sha.hash.handle, sha.object.data(),
                                           static_cast<ULONG>(sha.object.size()), nullptr, 0, 0));
}

bool AddToSha256(RunningSha256& sha, const char* data, std::size_t size) {
    return BCRYPT_SUCCESS(
        BCryptHashData(sha.hash.handle, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), static_cast<ULONG>(size), 0));
}

// Feeds the whole file. False when it cannot be read to its end or hashing fails.
bool AddFileToSha256(RunningSha256& sha, const fs::path& path, std::vector<char>& buffer) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return false;
    while (file.good()) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize read = file.gcount();
        if (read > 0 && !AddToSha256(sha, buffer.data(), static_cast<std::size_t>(read))) return false;
    }
    // A read error is not the end of the file: a digest of part of it would be wrong.
    return !file.bad();
}

std::wstring DigestText(const UCHAR (&value)[32]) {
    static const wchar_t kHexDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(64);
    for (UCHAR byte : value) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    }
    return text;
}

// The digest of the bytes so far. The running hash is finished on a copy, so more bytes
// can still follow.
bool PeekSha256(const RunningSha256& sha, std::wstring& digest) {
    std::vector<UCHAR> object(sha.object.size(), 0);
    HashHandle copy;
    UCHAR value[32] = {};
    if (!BCRYPT_SUCCESS(BCryptDuplicateHash(sha.hash.handle, &copy.handle, object.data(),
                                            static_cast<ULONG>(object.size()), 0)) ||
        !BCRYPT_SUCCESS(BCryptFinishHash(copy.handle, value, sizeof(value), 0)))
        return false;
    digest = DigestText(value);
    return true;
}

// Writes the blocks read from the network to the partial file and feeds them to the
// digest on a thread of its own, so that the next block comes from the network while
// the previous one goes to disk and through SHA-256. The caller reads into two buffers
// in turn: a block handed over stays untouched until the next hand-over returns.
struct BlockWriter {
    std::ofstream& file;
    RunningSha256& sha;
    std::mutex mutex;
    std::condition_variable changed;
    const char* pending = nullptr;
    std::size_t pendingSize = 0;
    bool closing = false;
    bool failed = false;
    std::thread worker;

    BlockWriter(std::ofstream& target, RunningSha256& digest) : file(target), sha(digest) {
        worker = std::thread([this] { Run(); });
    }
    ~BlockWriter() { Finish(); }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return pending || closing; });
            if (!pending) return;
            const char* data = pending;
            const std::size_t size = pendingSize;
            lock.unlock();
            const bool ok = file.write(data, static_cast<std::streamsize>(size)) && AddToSha256(sha, data, size);
            lock.lock();
            if (!ok) failed = true;
            pending = nullptr;
            changed.notify_all();
        }
    }

    // Waits until the previous block is written, then hands this one over. False once
    // any block has failed; nothing more is written then.
    bool Hand(const char* data, std::size_t size) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !pending; });
        if (failed) return false;
        pending = data;
        pendingSize = size;
        changed.notify_all();
        return true;
    }

    // Waits for the last block and ends the thread. False when any block failed.
    bool Finish() {
        if (worker.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                closing = true;
                changed.notify_all();
            }
            worker.join();
        }
        return !failed;
    }
};

void Report(const ProgressCallback& progress, const wchar_t* text, int percent) {
    if (progress) progress(text, percent);
}

// offset as a share of size, rounded down, never above 100.
int PercentOf(std::uint64_t offset, std::uint64_t size) {
    return static_cast<int>(std::min<std::uint64_t>(offset, size) * 100 / size);
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

enum class Answer { Failed, Whole, Continued, RangeRefused };

// Sends the GET, asking for the bytes from offset on when resuming, and decides from
// the status alone whether the body continues the partial file (206) or replaces it (200).
Answer RequestFrom(HINTERNET request, std::uint64_t offset) {
    const std::wstring range =
        offset > 0 ? L"Range: bytes=" + std::to_wstring(offset) + L"-\r\n" : std::wstring();
    const bool sent =
        offset > 0 ? WinHttpSendRequest(request, range.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA,
                                        0, 0, 0)
                   : WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    DWORD status = 0;
    if (!sent || !WinHttpReceiveResponse(request, nullptr) || !ReadStatusCode(request, status)) return Answer::Failed;
    if (status == 200) return Answer::Whole;
    if (offset > 0 && status == 206) return Answer::Continued;
    if (offset > 0 && status == 416) return Answer::RangeRefused;
    return Answer::Failed;
}

enum class Transfer { Complete, Failed, TooLong, RangeRefused, TooSlow, Stopped };

// Sends a GET for bytes [first, first + length) on a new request of session; false when no
// status came back. The caller judges the status (206 for the range).
bool RequestRange(HINTERNET session, const ServiceUrlParts& parts, std::uint64_t first, std::uint64_t length,
                  InternetHandle& connection, InternetHandle& request, DWORD& status) {
    request.handle = OpenServiceRequest(session, parts, L"GET", connection);
    const std::wstring range =
        L"Range: bytes=" + std::to_wstring(first) + L"-" + std::to_wstring(first + length - 1) + L"\r\n";
    return request && WinHttpSendRequest(request.handle, range.c_str(), static_cast<DWORD>(-1),
                                         WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
           WinHttpReceiveResponse(request.handle, nullptr) && ReadStatusCode(request.handle, status);
}

// The body's length as the server announced it; 0 when it did not.
std::uint64_t AnnouncedLength(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return 0;
    std::uint64_t length = 0;
    for (const wchar_t* at = text; *at >= L'0' && *at <= L'9' && length < (1ull << 60); ++at) length = length * 10 + (*at - L'0');
    return length;
}

// Watches the bytes moved over spans of time; a span that moved too few ends the transfer.
struct RateFloor {
    std::uint64_t minimum = 0, spanMs = 0, spanStart = 0, bytesAtStart = 0;
    bool TooSlow(std::uint64_t bytes) {
        if (minimum == 0 || spanMs == 0) return false;
        const std::uint64_t now = GetTickCount64();
        if (spanStart == 0) {
            spanStart = now;
            bytesAtStart = bytes;
        }
        if (now - spanStart < spanMs) return false;
        const bool slow = bytes - bytesAtStart < minimum;
        spanStart = now;
        bytesAtStart = bytes;
        return slow;
    }
};

// Fetches the rest of the resource into the partial file, counting every byte handed
// to the file in offset and feeding it to sha (started again when a 200 replaces the
// partial file). It stops as soon as offset passes limit. The bytes written so far stay
// in the file whatever the outcome.
// A block goes on to the file and the digest once it holds this much, or once its first
// bytes have waited this long: a fast line moves in large blocks (small ones cost a
// thread hand-over each), while on a slow line the file, the progress and a stop follow
// the bytes closely.
constexpr std::size_t kHandOverBytes = 512 * 1024;
constexpr ULONGLONG kHandOverWaitMs = 100;

// Reads the response body, at most maxBytes of it, into writer through the two buffers
// in turn. Only what has arrived is read: a read for more would wait until it all came,
// and neither a stop nor a check could act meanwhile. afterHand sees the bytes of each
// block handed on and may end the transfer. Complete when the body ended or maxBytes
// were read.
Transfer ReadBodyToWriter(HINTERNET request, BlockWriter& writer, std::vector<char> (&buffers)[2], int& current,
                          std::uint64_t maxBytes, const DownloadControl& control,
                          const std::function<Transfer(std::uint64_t)>& afterHand) {
    std::size_t filled = 0;
    ULONGLONG blockStart = 0;
    const auto handOn = [&]() {
        if (filled == 0) return Transfer::Complete;
        if (!writer.Hand(buffers[current].data(), filled)) return Transfer::Failed;
        const std::uint64_t handed = filled;
        current ^= 1;
        filled = 0;
        return afterHand(handed);
    };
    for (std::uint64_t left = maxBytes; left > 0;) {
        if (control.stop && control.stop->load()) return Transfer::Stopped;
        DWORD available = 0, read = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) return Transfer::Failed;
        if (available == 0) break;  // the body has ended
        std::vector<char>& buffer = buffers[current];
        const DWORD wanted = static_cast<DWORD>(std::min<std::uint64_t>({available, buffer.size() - filled, left}));
        if (!WinHttpReadData(request, buffer.data() + filled, wanted, &read)) return Transfer::Failed;
        if (read == 0) break;
        if (filled == 0) blockStart = GetTickCount64();
        filled += read;
        left -= read;
        if (filled >= kHandOverBytes || filled == buffer.size() || GetTickCount64() - blockStart >= kHandOverWaitMs) {
            const Transfer result = handOn();
            if (result != Transfer::Complete) return result;
        }
    }
    return handOn();
}

Transfer TransferToPartialFile(HINTERNET session, const ServiceUrlParts& parts, const fs::path& partial,
                               std::uint64_t expectedSize, std::uint64_t limit, std::uint64_t& offset,
                               RunningSha256& sha, std::vector<char>& buffer, const ProgressCallback& progress,
                               const DownloadControl& control) {
    InternetHandle connection;
    InternetHandle request(OpenServiceRequest(session, parts, L"GET", connection));
    const Answer answer = request ? RequestFrom(request.handle, offset) : Answer::Failed;
    if (answer == Answer::RangeRefused) return Transfer::RangeRefused;
    bool restarted = false;
    if (answer == Answer::Whole && offset > 0) {
        offset = 0;
        restarted = true;
    }

    // Opened whatever the answer, so that a failed fresh start still leaves an empty file.
    std::ofstream file(partial, std::ios::binary | (offset > 0 ? std::ios::app : std::ios::trunc));
    if (answer == Answer::Failed || !file.is_open()) return Transfer::Failed;
    if (restarted && !StartSha256(sha)) return Transfer::Failed;

    // Without a size from the manifest, the server's own length gives the percentages.
    const std::uint64_t announced = AnnouncedLength(request.handle);
    const std::uint64_t total = expectedSize > 0 ? expectedSize : announced > 0 ? offset + announced : 0;
    RateFloor floor{control.minimumBytesPerSpan, control.rateSpanMs};
    Transfer result = Transfer::Complete;
    {
        std::vector<char> buffers[2] = {std::move(buffer), std::vector<char>(kTransferBufferSize)};
        int current = 0;
        BlockWriter writer(file, sha);
        result = ReadBodyToWriter(request.handle, writer, buffers, current, UINT64_MAX, control,
                                  [&](std::uint64_t handed) {
                                      offset += handed;
                                      if (total > 0) Report(progress, kDownloadingText, PercentOf(offset, total));
                                      if (offset > limit) return Transfer::TooLong;
                                      if (floor.TooSlow(offset)) return Transfer::TooSlow;
                                      return Transfer::Complete;
                                  });
        if (!writer.Finish() && result != Transfer::TooLong) result = Transfer::Failed;
        buffer = std::move(buffers[0]);
    }
    // The last bytes reach the disk only here; a full disk may first show now.
    file.close();
    if (file.fail() && result == Transfer::Complete) result = Transfer::Failed;
    return result;
}

// Fetches bytes [first, first + length) of the resource with one range request into the
// writer. Reused when a 206 comes back; a server that answers anything else cannot serve
// the plan.
Transfer FetchRange(HINTERNET session, const ServiceUrlParts& parts, std::uint64_t first, std::uint64_t length,
                    BlockWriter& writer, std::vector<char> (&buffers)[2], int& current, std::uint64_t& offset,
                    const DownloadControl& control, const std::function<void(std::uint64_t)>& moved) {
    InternetHandle connection, request;
    DWORD status = 0;
    if (!RequestRange(session, parts, first, length, connection, request, status)) return Transfer::Failed;
    if (status != 206) return Transfer::RangeRefused;
    std::uint64_t received = 0;
    const Transfer result = ReadBodyToWriter(request.handle, writer, buffers, current, length, control,
                                             [&](std::uint64_t handed) {
                                                 offset += handed;
                                                 received += handed;
                                                 moved(handed);
                                                 return Transfer::Complete;
                                             });
    // A body that ends short of the range is a cut line.
    return result == Transfer::Complete && received != length ? Transfer::Failed : result;
}

// Writes the rest of the file from offset on by its plan: copied pieces from the kept
// file, fetched ones by range requests. Every byte goes through the digest as it is
// written, as in a plain download.
Transfer TransferPlanToPartialFile(HINTERNET session, const ServiceUrlParts& parts, const fs::path& partial,
                                   const ReusePlan& plan, std::uint64_t& offset, RunningSha256& sha,
                                   const ProgressCallback& progress, const DownloadControl& control) {
    std::ifstream kept(fs::path(plan.keptPath), std::ios::binary);
    std::ofstream file(partial, std::ios::binary | (offset > 0 ? std::ios::app : std::ios::trunc));
    if (!file.is_open()) return Transfer::Failed;
    if (!kept.is_open()) return Transfer::RangeRefused;
    std::uint64_t fetched = 0, position = 0;
    for (const FilePiece& piece : plan.pieces) {  // what was fetched before a resume counts too
        if (!piece.fromKept) fetched += std::min(piece.length, offset > position ? offset - position : 0);
        position += piece.length;
    }
    const auto moved = [&](std::uint64_t bytes) {
        fetched += bytes;
        if (plan.fetchedBytes > 0) Report(progress, kDownloadingText, PercentOf(fetched, plan.fetchedBytes));
    };
    Transfer result = Transfer::Complete;
    {
        std::vector<char> buffers[2] = {std::vector<char>(kTransferBufferSize), std::vector<char>(kTransferBufferSize)};
        int current = 0;
        BlockWriter writer(file, sha);
        position = 0;
        for (const FilePiece& piece : plan.pieces) {
            const std::uint64_t end = position + piece.length;
            if (end > offset && result == Transfer::Complete) {
                const std::uint64_t start = std::max(position, offset);
                if (!piece.fromKept) {
                    // What lies before the known end is fetched; the known end is written as it is.
                    const std::uint64_t fetchEnd = plan.knownEnd.empty() ? end : std::min(end, std::max(start, plan.knownFrom));
                    if (fetchEnd > start)
                        result = FetchRange(session, parts, start, fetchEnd - start, writer, buffers, current, offset,
                                            control, moved);
                    if (result == Transfer::Complete && end > fetchEnd) {
                        const std::uint64_t from = fetchEnd - plan.knownFrom;
                        if (plan.knownFrom + plan.knownEnd.size() < end) result = Transfer::RangeRefused;
                        else if (!writer.Hand(plan.knownEnd.data() + from, static_cast<std::size_t>(end - fetchEnd)))
                            result = Transfer::Failed;
                        else offset += end - fetchEnd;  // the plan's bytes stay as they are until the end
                    }
                } else {
                    kept.seekg(static_cast<std::streamoff>(piece.keptOffset + (start - position)));
                    for (std::uint64_t left = end - start; left > 0 && result == Transfer::Complete; current ^= 1) {
                        if (control.stop && control.stop->load()) {
                            result = Transfer::Stopped;
                            break;
                        }
                        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(left, kTransferBufferSize));
                        kept.read(buffers[current].data(), static_cast<std::streamsize>(wanted));
                        // A kept package cut short or unreadable cannot serve the plan.
                        if (static_cast<std::size_t>(kept.gcount()) != wanted) result = Transfer::RangeRefused;
                        else if (!writer.Hand(buffers[current].data(), wanted)) result = Transfer::Failed;
                        else offset += wanted, left -= wanted;
                    }
                }
            }
            position = end;
        }
        if (!writer.Finish() && result == Transfer::Complete) result = Transfer::Failed;
    }
    file.close();
    if (file.fail() && result == Transfer::Complete) result = Transfer::Failed;
    return result;
}

// Digests are compared as whole texts, ignoring the case of the hexadecimal letters.
bool SameDigest(const std::wstring& computed, const std::wstring& expected) {
    if (computed.size() != expected.size()) return false;
    for (std::size_t i = 0; i < computed.size(); ++i) {
        if (std::towupper(computed[i]) != std::towupper(expected[i])) return false;
    }
    return true;
}

// The partial file goes with its release record, so no record outlives its bytes.
void RemovePartial(const fs::path& partial) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    fs::remove(partial.native() + kReleaseRecordSuffix, ignored);
}

bool FailSecurityCheck(const fs::path& partial, const SubjectMessages& words, std::wstring& message) {
    // Kept, these bytes would be verified (or, with an unknown size, resumed past
    // their end) on every later attempt and fail the same way forever.
    RemovePartial(partial);
    message = words.securityCheck;
    return false;
}

// "size digest" on one line, the digest in capitals, so that a digest that differs only
// in case names the same release.
std::string ReleaseRecordText(std::uint64_t expectedSize, const std::wstring& expectedDigest) {
    std::string text = std::to_string(expectedSize) + " ";
    for (wchar_t c : expectedDigest) text.push_back(c < 0x80 ? static_cast<char>(std::towupper(c)) : '?');
    return text + "\n";
}

enum class Release { Same, Other, Unknown };

Release ReadPartialRelease(const fs::path& partial, const std::string& expected) {
    std::ifstream in(fs::path(partial.native() + kReleaseRecordSuffix), std::ios::binary);
    if (!in.is_open()) return Release::Unknown;
    std::string recorded(expected.size() + 1, '\0');
    in.read(&recorded[0], static_cast<std::streamsize>(recorded.size()));
    recorded.resize(static_cast<std::size_t>(in.gcount()));
    return recorded == expected ? Release::Same : Release::Other;
}

bool WritePartialRelease(const fs::path& partial, const std::string& text) {
    std::ofstream out(fs::path(partial.native() + kReleaseRecordSuffix), std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

}  // namespace

std::wstring PartialDownloadPath(const std::wstring& target) { return target + kPartialFileSuffix; }
std::wstring PartialReleaseRecordPath(const std::wstring& target) { return PartialDownloadPath(target) + kReleaseRecordSuffix; }

std::uint64_t ResumableBytes(const std::wstring& target, std::uint64_t expectedSize,
                             const std::wstring& expectedDigest) {
    const fs::path partial(PartialDownloadPath(target));
    if (ReadPartialRelease(partial, ReleaseRecordText(expectedSize, expectedDigest)) == Release::Other) return 0;
    std::error_code error;
    const std::uintmax_t size = fs::file_size(partial, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

bool DownloadVerifiedFile(const std::wstring& url, const std::wstring& target, std::uint64_t expectedSize,
                          const std::wstring& expectedDigest, std::wstring& message,
                          const ProgressCallback& progress, DownloadSubject subject,
                          const DownloadControl& control) {
    const SubjectMessages& words = kSubjectMessages[subject == DownloadSubject::Launcher ? 1 : 0];
    ServiceUrlParts parts;
    if (!SplitServiceUrl(url, parts, kGetUrlPathCapacity)) {
        message = kInvalidUrlMessage;
        return false;
    }

    const fs::path targetPath(target);
    const fs::path partial(PartialDownloadPath(target));
    std::error_code ignored;
    // A folder that cannot be made shows later, when the partial file cannot be opened.
    if (targetPath.has_parent_path()) fs::create_directories(targetPath.parent_path(), ignored);

    // More bytes than the resource can have are not a prefix of it.
    const std::uint64_t limit = expectedSize > 0 ? expectedSize : kUnknownSizeLimit;
    // Bytes of another release are no prefix of this one: resumed, they would fail the
    // digest only after the rest had been fetched.
    const std::string release = ReleaseRecordText(expectedSize, expectedDigest);
    if (ReadPartialRelease(partial, release) == Release::Other) RemovePartial(partial);
    std::uint64_t offset = ResumeOffset(partial);
    if (offset > limit) {
        fs::remove(partial, ignored);
        offset = 0;
    }
    // Before the first byte; a partial file an older launcher left is taken as this
    // release's, and the digest still decides. A record that cannot be written leaves
    // the partial file as an older launcher's would be.
    WritePartialRelease(partial, release);
    if (!control.reuse) Report(progress, kDownloadingText, expectedSize > 0 ? PercentOf(offset, expectedSize) : 0);

    // The digest follows the bytes as they are written; a resumed download first reads
    // the bytes it continues.
    RunningSha256 sha;
    std::vector<char> buffer(kTransferBufferSize, '\0');
    if (!StartSha256(sha) || (offset > 0 && !AddFileToSha256(sha, partial, buffer))) {
        message = words.securityCheck;
        return false;
    }
    std::wstring digest;
    // With an unknown size a partial file may already be whole (its move failed last
    // time): asking for the bytes after its end would only ever get 416.
    const bool complete = expectedSize > 0 ? offset == expectedSize
                                           : offset > 0 && PeekSha256(sha, digest) && SameDigest(digest, expectedDigest);

    if (!complete) {
        InternetHandle session(OpenServiceSession(kGetUserAgent, kDownloadTimeouts));
        if (!session) {
            message = kNoSessionMessage;
            return false;
        }
        const Transfer transfer =
            control.reuse ? TransferPlanToPartialFile(session.handle, parts, partial, *control.reuse, offset, sha,
                                                      progress, control)
                          : TransferToPartialFile(session.handle, parts, partial, expectedSize, limit, offset, sha,
                                                  buffer, progress, control);
        if (control.reuse && transfer == Transfer::RangeRefused) {
            if (control.reuseFailed) *control.reuseFailed = true;
            message = words.interrupted;
            return false;
        }
        switch (transfer) {
            case Transfer::Complete:
                break;
            case Transfer::Stopped:
                message = kDownloadStoppedMessage;
                return false;
            case Transfer::TooSlow:
                message = words.interrupted;
                return false;
            case Transfer::TooLong:
                message = words.incomplete;
                return false;
            case Transfer::RangeRefused:
                // Nothing lies past the end of a partial file whose length is not known
                // to be short: it is whole, and its digest did not match above.
                if (expectedSize == 0) return FailSecurityCheck(partial, words, message);
                message = words.interrupted;
                return false;
            case Transfer::Failed:
                message = words.interrupted;
                return false;
        }
    }
    if (expectedSize > 0 && offset != expectedSize) {
        message = words.incomplete;
        return false;
    }

    Report(progress, kVerifyingText, 100);
    UCHAR value[32] = {};
    if (!BCRYPT_SUCCESS(BCryptFinishHash(sha.hash.handle, value, sizeof(value), 0))) {
        message = words.securityCheck;
        return false;
    }
    if (!SameDigest(DigestText(value), expectedDigest)) {
        if (control.reuse && control.reuseFailed) *control.reuseFailed = true;
        return FailSecurityCheck(partial, words, message);
    }

    const DWORD moveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
    if (!MoveFileExW(partial.c_str(), target.c_str(), moveFlags)) {
        DeleteFileW(target.c_str());
        if (!MoveFileExW(partial.c_str(), target.c_str(), moveFlags)) {
            message = kFinalizeMessage;
            return false;
        }
    }
    fs::remove(PartialReleaseRecordPath(target), ignored);
    return true;
}

RangeReply FetchByteRange(const std::wstring& url, std::uint64_t first, std::uint64_t length, std::string& bytes) {
    constexpr std::uint64_t kLargestRange = 64ull << 20;
    ServiceUrlParts parts;
    bytes.clear();
    if (length == 0 || length > kLargestRange || !SplitServiceUrl(url, parts, kGetUrlPathCapacity)) return RangeReply::Failed;
    InternetHandle session(OpenServiceSession(kGetUserAgent, kDownloadTimeouts));
    InternetHandle connection, request;
    DWORD status = 0;
    if (!session || !RequestRange(session.handle, parts, first, length, connection, request, status))
        return RangeReply::Failed;
    if (status == 200) return RangeReply::WholeFile;
    if (status != 206) return RangeReply::Failed;
    bytes.reserve(static_cast<std::size_t>(length));
    while (bytes.size() < length) {
        DWORD available = 0, read = 0;
        if (!WinHttpQueryDataAvailable(request.handle, &available) || available == 0) return RangeReply::Failed;
        const std::size_t held = bytes.size();
        bytes.resize(held + static_cast<std::size_t>(std::min<std::uint64_t>(available, length - held)));
        if (!WinHttpReadData(request.handle, &bytes[held], static_cast<DWORD>(bytes.size() - held), &read) || read == 0)
            return RangeReply::Failed;
        bytes.resize(held + read);
    }
    return RangeReply::Bytes;
}

bool IsFileAlreadyDownloaded(const std::wstring& path, std::uint64_t size, const std::wstring& expectedDigest,
                             const ProgressCallback& progress, const std::atomic<bool>* stop) {
    std::error_code error;
    if (size == 0 || fs::file_size(fs::path(path), error) != size || error) return false;
    std::ifstream file(fs::path(path), std::ios::binary);
    RunningSha256 sha;
    std::vector<char> buffer(kTransferBufferSize, '\0');
    if (!file.is_open() || !StartSha256(sha)) return false;
    std::uint64_t done = 0;
    int reported = -1;
    while (done < size) {
        if (stop && stop->load()) return false;
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize read = file.gcount();
        if (read <= 0 || !AddToSha256(sha, buffer.data(), static_cast<std::size_t>(read))) return false;
        done += static_cast<std::uint64_t>(read);
        const int percent = PercentOf(done, size);
        if (percent != reported) Report(progress, kCheckingPackageText, reported = percent);
    }
    UCHAR value[32] = {};
    return BCRYPT_SUCCESS(BCryptFinishHash(sha.hash.handle, value, sizeof(value), 0)) &&
           SameDigest(DigestText(value), expectedDigest);
}

bool Sha256OfFile(const std::wstring& path, std::wstring& digest) {
    RunningSha256 sha;
    std::vector<char> buffer(kTransferBufferSize, '\0');
    UCHAR value[32] = {};
    if (!StartSha256(sha) || !AddFileToSha256(sha, fs::path(path), buffer) ||
        !BCRYPT_SUCCESS(BCryptFinishHash(sha.hash.handle, value, sizeof(value), 0)))
        return false;
    digest = DigestText(value);
    return true;
}
