#pragma once
#include <cstdint>
#include <string>

#include "net/progress.h"

// Downloads url to target through a partial file beside it (target + ".download"),
// resuming that file with a range request on the next call after an interruption.
// expectedSize 0 means unknown: no percentages and no length check, but a transfer
// past 256 MiB is cut off. The bytes must have the SHA-256 expectedDigest
// (hexadecimal, any case) before they replace target. The digest is computed while the
// bytes are written (after reading the partial file a resumed download continues), so
// "Verifying download" is only the final comparison. Percentages never pass 100.
//
// On false, message holds one fixed sentence for the player and the partial file keeps
// what can still be used: bytes received before an interruption stay (a partial file
// longer than the expected size, or than the cap, goes at the next call), bytes that
// fail the digest check are deleted. With an unknown size a partial file whose digest
// already matches is moved into place without a request, and one the server has nothing
// more for (416) counts as failing the check. On true, message is untouched and the
// partial file is gone. progress is called on this thread, never stored.
bool DownloadVerifiedFile(const std::wstring& url, const std::wstring& target, std::uint64_t expectedSize,
                          const std::wstring& expectedDigest, std::wstring& message,
                          const ProgressCallback& progress);

// Where DownloadVerifiedFile keeps the bytes received so far for target.
std::wstring PartialDownloadPath(const std::wstring& target);

// The SHA-256 of the file's bytes as 64 upper-case hexadecimal digits. On false
// (the file cannot be read, or the system's hashing fails), digest is untouched.
bool Sha256OfFile(const std::wstring& path, std::wstring& digest);
