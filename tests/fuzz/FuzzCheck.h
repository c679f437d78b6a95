#pragma once

// A check that holds in every build type (assert vanishes under NDEBUG): a failed invariant
// aborts, which libFuzzer and the replay driver both report as a crash with the input.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
