// libFuzzer target: the command line.
#include <cstdio>
#include <cstdlib>

#include "fuzz/command_line_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The parser's echoes would slow the search and bury libFuzzer's own report; the key wait
    // at exit returns at once when standard input is not a terminal.
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "r", stdin)) std::exit(1);
    fuzz_command_line_setup();
    if (!fuzz_command_line_safe()) {
        std::fprintf(stderr, "the vendor's FET library loads here; not fuzzing what could drive an adapter\n");
        std::exit(1);  // libFuzzer ignores what this returns
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_command_line(data, size);
    return 0;
}
