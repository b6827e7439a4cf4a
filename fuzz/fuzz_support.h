#pragma once
// Shared pieces of the fuzz harnesses: a property check that stops the run with a
// finding, and the mapping of the fuzzer's bytes onto wide text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A broken property is a finding like a crash: libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

// Wide text the way the launcher sees it on Windows: UTF-16 code units (wchar_t is 32
// bits here, so units stay below 0x10000, lone surrogates included). A byte below 0x80
// is that character, so seed files stay readable; a higher byte takes the next two
// bytes as one unit, big end first.
inline std::wstring WideUnitsFromBytes(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] < 0x80 || i + 2 >= size) {
            text.push_back(static_cast<wchar_t>(data[i]));
        } else {
            text.push_back(static_cast<wchar_t>((data[i + 1] << 8) | data[i + 2]));
            i += 2;
        }
    }
    return text;
}
