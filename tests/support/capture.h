// Runs code that may end in exit_program in this process (the interceptor throws), so every
// error path can be tested on every platform. Standard input is the null device meanwhile.
#pragma once

#include <functional>
#include <string>

struct Captured {
    std::string text;  // everything written to standard output
    int status = -1;   // the process status exit_program would have ended with
};

inline constexpr int CAPTURE_RETURNED = 199;  // the status when the procedure returned
Captured capture_output(const std::function<void()>& procedure);
