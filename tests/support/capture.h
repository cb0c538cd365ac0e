// Runs a procedure in a child process and collects everything it writes to standard output,
// with a deadline, so that code which ends in exit_program can be tested whole.
#pragma once

#include <functional>
#include <string>

struct Captured {
    std::string text;  // everything the child wrote to standard output
    int status = -1;   // the exit status, or -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if one did
    bool timed_out = false;
};

// Standard input of the child is /dev/null. A child whose procedure returns instead of ending
// the process exits with this status.
inline constexpr int CAPTURE_RETURNED = 199;

Captured capture_output(const std::function<void()>& procedure, int deadline_ms = 10000);
