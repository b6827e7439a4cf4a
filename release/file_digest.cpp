#include "file_digest.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

Sha256Digest::Sha256Digest() : context(EVP_MD_CTX_new()) {
    EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context), EVP_sha256(), nullptr);
}

Sha256Digest::~Sha256Digest() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context)); }

void AddToSha256(Sha256Digest& digest, const char* data, std::size_t size) {
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(digest.context), data, size);
}

std::string FinishSha256(Sha256Digest& digest) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(digest.context), value, &length);
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kDigits[value[i] >> 4]);
        text.push_back(kDigits[value[i] & 15]);
    }
    return text;
}

std::string Sha256OfBytes(const std::string& bytes) {
    Sha256Digest digest;
    AddToSha256(digest, bytes.data(), bytes.size());
    return FinishSha256(digest);
}

ProgressLine StartProgress(const std::string& label, std::uint64_t total) {
    ProgressLine line;
    line.label = label;
    line.total = total;
    line.terminal = isatty(STDERR_FILENO) == 1;
    return line;
}

void ShowProgress(ProgressLine& line, std::uint64_t done) {
    if (!line.terminal) return;
    const std::uint64_t mib = done >> 20;
    // One update per percent, or per 16 MiB when the total is unknown.
    const int step = line.total ? static_cast<int>(done * 100 / line.total) : static_cast<int>(mib / 16);
    if (step == line.shown) return;
    line.shown = step;
    if (line.total)
        std::fprintf(stderr, "\r%s: %d%% (%llu of %llu MiB)", line.label.c_str(), step,
                     static_cast<unsigned long long>(mib), static_cast<unsigned long long>(line.total >> 20));
    else
        std::fprintf(stderr, "\r%s: %llu MiB", line.label.c_str(), static_cast<unsigned long long>(mib));
    std::fflush(stderr);
}

void EndProgress(ProgressLine& line) {
    if (line.terminal && line.shown >= 0) std::fprintf(stderr, "\r\033[K");
    line.shown = -1;
}

bool DigestLocalFile(const std::string& path, std::string& digest, std::uint64_t& size, std::string& problem) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        problem = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    Sha256Digest sha256;
    std::vector<char> buffer(1 << 20);
    std::uint64_t total = 0;
    ProgressLine progress = StartProgress("reading " + path, 0);
    std::fseek(file, 0, SEEK_END);
    progress.total = static_cast<std::uint64_t>(std::max(0L, std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        AddToSha256(sha256, buffer.data(), count);
        total += count;
        ShowProgress(progress, total);
    }
    EndProgress(progress);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        problem = "cannot read " + path;
        return false;
    }
    digest = FinishSha256(sha256);
    size = total;
    return true;
}
