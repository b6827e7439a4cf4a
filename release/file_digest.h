#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 over bytes that arrive in pieces (a file read or a download), with a progress
// line on the terminal for the large ones.

// Owns one OpenSSL digest context.
struct Sha256Digest {
    Sha256Digest();
    ~Sha256Digest();
    Sha256Digest(const Sha256Digest&) = delete;
    Sha256Digest& operator=(const Sha256Digest&) = delete;
    void* context;
};

void AddToSha256(Sha256Digest& digest, const char* data, std::size_t size);
// The 64 lower-case hexadecimal digits, as sha256sum prints them.
std::string FinishSha256(Sha256Digest& digest);
std::string Sha256OfBytes(const std::string& bytes);

// "label: 42% (1432 of 3400 MiB)" rewritten in place on standard error, only when it is
// a terminal, so captured output stays one line per verdict. total 0: no percentage.
struct ProgressLine {
    std::string label;
    std::uint64_t total = 0;
    int shown = -1;
    bool terminal = false;
};
ProgressLine StartProgress(const std::string& label, std::uint64_t total);
void ShowProgress(ProgressLine& line, std::uint64_t done);
void EndProgress(ProgressLine& line);

// Reads a local file through the digest. On false, problem says why.
bool DigestLocalFile(const std::string& path, std::string& digest, std::uint64_t& size, std::string& problem);
