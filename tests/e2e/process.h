// Runs a procedure in a child process (standard input /dev/null) and collects its standard
// output, with a deadline: for tests that start the program itself, or need a process of their
// own (a resource limit, dropped rights).
#pragma once

#include <functional>
#include <string>

struct ProcessRun {
    std::string text;  // everything the child wrote to standard output
    int status = -1;   // the exit status, or -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if one did
    bool timed_out = false;
};

inline constexpr int PROCESS_RETURNED = 199;  // the status when the procedure returned
ProcessRun run_process(const std::function<void()>& procedure, int deadline_ms = 10000);
