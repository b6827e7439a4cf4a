#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "net/file_pieces.h"
#include "net/progress.h"

// Downloads url to target through a partial file beside it (target + ".download"),
// resuming that file with a range request on the next call after an interruption.
// expectedSize 0 means unknown: no percentages and no length check, but a transfer
// past 256 MiB is cut off. The bytes must have the SHA-256 expectedDigest
// (hexadecimal, any case) before they replace target. The digest is computed while the
// bytes are written (after reading the partial file a resumed download continues), so
// "Verifying download" is only the final comparison. Percentages never pass 100.
//
// The partial file is tied to the release it belongs to by a small record beside it
// (its expected size and digest), written before its first byte: a partial file of
// another release starts over without a word, and one without a record (left by an
// older launcher) resumes.
//
// On false, message holds one fixed sentence for the player, naming what subject
// downloads, and the partial file keeps
// what can still be used: bytes received before an interruption stay (a partial file
// longer than the expected size, or than the cap, goes at the next call), bytes that
// fail the digest check are deleted. With an unknown size a partial file whose digest
// already matches is moved into place without a request, and one the server has nothing
// more for (416) counts as failing the check. On true, message is untouched and the
// partial file is gone. progress is called on this thread, never stored.
//
// control lets another thread stop the download (it ends at its next read, keeping its
// bytes for the next call, with kDownloadStoppedMessage) and sets the slowest transfer
// that is still waited for. With an unknown size, percentages follow the length the
// server announces, when it does.
enum class DownloadSubject { Client, Launcher };
struct DownloadControl {
    const std::atomic<bool>* stop = nullptr;
    // A transfer that moves fewer bytes than this in any span of rateSpanMs gives up as
    // interrupted (0: no limit). A stalled one ends with the receive time-out in any case.
    std::uint64_t minimumBytesPerSpan = 0;
    std::uint64_t rateSpanMs = 0;
    // With reuse, the file is written by its plan: copied pieces from the kept file,
    // fetched ones with range requests, percentages over the fetched bytes. A plan that
    // cannot be followed (the kept file unreadable, a server that stops answering ranges)
    // or whose result fails the digest sets reuseFailed, and the partial file is kept or
    // dropped as for any download; the caller then downloads the file whole.
    const ReusePlan* reuse = nullptr;
    bool* reuseFailed = nullptr;
};
constexpr const wchar_t* kDownloadStoppedMessage = L"The download was stopped.";
bool DownloadVerifiedFile(const std::wstring& url, const std::wstring& target, std::uint64_t expectedSize,
                          const std::wstring& expectedDigest, std::wstring& message,
                          const ProgressCallback& progress, DownloadSubject subject = DownloadSubject::Client,
                          const DownloadControl& control = DownloadControl());

// Where DownloadVerifiedFile keeps the bytes received so far for target, and the record
// of the release those bytes belong to.
std::wstring PartialDownloadPath(const std::wstring& target);
std::wstring PartialReleaseRecordPath(const std::wstring& target);

// The bytes of the partial file that a download of this release would keep: its length,
// or 0 when it belongs to another release (or there is none).
std::uint64_t ResumableBytes(const std::wstring& target, std::uint64_t expectedSize,
                             const std::wstring& expectedDigest);

// Fetches bytes [first, first + length) of url into bytes (length at most 64 MiB). Bytes
// when the server answered the range; WholeFile when it answers without ranges (nothing
// of the body is read then); Failed otherwise.
enum class RangeReply { Bytes, WholeFile, Failed };
RangeReply FetchByteRange(const std::wstring& url, std::uint64_t first, std::uint64_t length, std::string& bytes);

// Whether the file at path is already the download: exactly size bytes (size above 0)
// whose SHA-256 is expectedDigest. Reports "Checking the downloaded package" with its
// percentage as it reads; false, at once, when stop is set.
bool IsFileAlreadyDownloaded(const std::wstring& path, std::uint64_t size, const std::wstring& expectedDigest,
                             const ProgressCallback& progress, const std::atomic<bool>* stop);

// The SHA-256 of the file's bytes as 64 upper-case hexadecimal digits. On false
// (the file cannot be read, or the system's hashing fails), digest is untouched.
bool Sha256OfFile(const std::wstring& path, std::wstring& digest);
