// libFuzzer target: the command line.
#include <cstdio>

#include "fuzz/command_line_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The parser's echoes would slow the search and bury libFuzzer's own report; the key wait
    // at exit returns at once when standard input is not a terminal.
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "r", stdin)) return 1;
    fuzz_command_line_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_command_line(data, size);
    return 0;
}
