#pragma once
// Shared by the fuzz harnesses: a broken property is a finding like a crash, so it stops
// the run and libFuzzer keeps the input that broke it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "property broken: %s\n", #condition), std::abort()))
