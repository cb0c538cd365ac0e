// What the fault and load tests share: a terminal session whose serial line sits behind a
// symbolic link (so a test can unplug it and plug in another), the CPU a process has used, and
// how heavy a run the current build can afford.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e/pty_harness.h"

// Keys as an xterm sends them.
inline const std::string KEY_F4 = "\x1bOS";
inline const std::string KEY_F9 = "\x1b[20~";
inline const std::string KEY_F10 = "\x1b[21~";

// The terminal's own texts as the console shows them.
inline const std::string SHOWN_STARTED = as_shown("\nDumb Terminal started\n");
inline const std::string SHOWN_STOPPED = as_shown("\n\nTerminal stopped\n\n");

// A terminal session in a folder of its own, logging to "board.log" there, its port reached
// through the link "ttyBOARD" there.
struct BoardSession {
    std::string dir = make_temp_dir();
    std::string link = dir + "/ttyBOARD";
    std::unique_ptr<SerialLine> line = std::make_unique<SerialLine>();
    std::unique_ptr<Console> console;
    std::size_t after_banner = 0;

    // The program starts with the link, `options`, "-a 0" and "-l board.log" unless the
    // options name a log or an "-a" themselves. `program` is the built kesto unless a test
    // runs a copy of it.
    explicit BoardSession(const std::vector<std::string>& options = {"-m"}, const std::string& program = KESTO_BINARY);
    // Ends the program if it still runs and removes the folder.
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Waits for the banner and its key line; false when they never came.
    bool started();
    // The board sends `text` and waits until the console showed `until`.
    bool board_says(const std::string& text, const std::string& until);
    // A new line behind the same link, the old one gone.
    void replug();
    // The line goes away and the link then points nowhere, so a reopen fails.
    void unplug();
    std::string log() const { return read_file(dir + "/board.log"); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
};

// Processor time (user and system) the process has used so far, in clock ticks; -1 when it
// cannot be read.
long long cpu_ticks(pid_t pid);

// The share of one core the process used over the next `ms` milliseconds (0.25 = 25%).
double cpu_share_over(pid_t pid, int ms);

// Set by `make valgrind`: everything runs many times slower there.
bool under_valgrind();
// AddressSanitizer slows the program down a few times.
bool under_sanitizer();
