#pragma once
// A failed property prints what it saw and aborts, which libFuzzer reports as a finding.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                    \
    do {                                                              \
        if (!(condition)) {                                           \
            std::fprintf(stderr, "check failed: %s\n  ", #condition); \
            std::fprintf(stderr, __VA_ARGS__);                        \
            std::fputc('\n', stderr);                                 \
            std::abort();                                             \
        }                                                             \
    } while (false)
