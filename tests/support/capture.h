// Runs a procedure in a child process (standard input /dev/null) and collects its standard
// output, with a deadline, so that code which ends in exit_program can be tested whole.
#pragma once

#include <functional>
#include <string>

struct Captured {
    std::string text;  // everything the child wrote to standard output
    int status = -1;   // the exit status, or -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if one did
    bool timed_out = false;
};

inline constexpr int CAPTURE_RETURNED = 199;  // the status when the procedure returned
Captured capture_output(const std::function<void()>& procedure, int deadline_ms = 10000);
