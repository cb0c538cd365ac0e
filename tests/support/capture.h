// Runs code that may end in exit_program, in this process, and collects what it writes to
// standard output: the exit is caught (the interceptor throws) and its status kept, so every
// error path can be tested where it is, on every platform. Standard input is the null device
// meanwhile, so nothing waits for a key.
#pragma once

#include <functional>
#include <string>

struct Captured {
    std::string text;  // everything written to standard output
    int status = -1;   // the process status exit_program would have ended with
};

inline constexpr int CAPTURE_RETURNED = 199;  // the status when the procedure returned
Captured capture_output(const std::function<void()>& procedure);
