// What a fuzz entry does when the code under test breaks a rule the entry checks: say which and
// abort, so that libFuzzer keeps the input as a crash and a replay in a child process fails.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzz_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) fuzz_failed(#condition, __FILE__, __LINE__); \
    } while (0)
