#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property ends the run like a crash, so libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition, what)                                                \
    do {                                                                           \
        if (!(condition)) {                                                        \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, what); \
            std::abort();                                                          \
        }                                                                          \
    } while (false)
