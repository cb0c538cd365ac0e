// A broken rule aborts, so that libFuzzer keeps the input as a crash; a test that replays inputs
// in its own process sets fuzz_failure_handler to throw instead.
#pragma once

#include <cstdio>
#include <cstdlib>

// Called with the failed check's text when set; must not return.
inline void (*fuzz_failure_handler)(const char* what) = nullptr;

[[noreturn]] inline void fuzz_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    std::fflush(stderr);
    if (fuzz_failure_handler) fuzz_failure_handler(what);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) fuzz_failed(#condition, __FILE__, __LINE__); \
    } while (0)
