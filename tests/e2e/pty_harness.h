// Runs the built program the way an operator does: its console on one pseudo-terminal, its
// serial port on another, where the test plays the board. Every read has a deadline, and a
// program still running when its run ends is killed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The board's end of a serial line: the program opens `path` (the slave); the test reads and
// writes `master`. The slave is raw (a fresh pty would echo and translate), and one slave
// descriptor stays open here so that the master keeps working while the program reopens it.
struct SerialLine {
    int master = -1;
    int slave = -1;
    std::string path;

    SerialLine();
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    void send(const std::string& bytes) const;
    // Reads until `count` bytes came or the deadline passed; gives what came.
    std::string receive(std::size_t count, int deadline_ms = 5000) const;
    // Everything that comes within `quiet_ms` (for checking that nothing more arrives).
    std::string drain(int quiet_ms = 100) const;
    // Unplugs the line: both ends close here, so the program's descriptor sees a hang-up.
    void vanish();
};

struct Console {
    int master = -1;
    pid_t pid = -1;
    std::string text;        // everything the program wrote to its console so far
    int status = -1;         // exit status once it exited normally
    int signal = 0;          // the signal that ended it
    bool ended = false;
    unsigned initial_local_flags = 0;  // the console's mode before the program started

    // Starts the program with its console on a new pty; cwd empty means the test's own.
    explicit Console(const std::vector<std::string>& args, const std::string& cwd = "");
    // Starts another program (argv[0] a path) the same way, for side-by-side figures.
    Console(const std::vector<std::string>& command, bool, const std::string& cwd = "");
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Writes keys to the console, as typed.
    void type(const std::string& keys) const;
    // Reads until `needle` appears in text after position `from`; false at the deadline.
    bool wait_for(const std::string& needle, std::size_t from = 0, int deadline_ms = 10000);
    // Reads for `quiet_ms` and gives whatever came (text keeps it too).
    std::string settle(int quiet_ms = 100);
    // Reads to the end and reaps the program; kills it at the deadline. True when it ended.
    bool wait_exit(int deadline_ms = 10000);
    // Sends a signal to the program.
    void kill_with(int signal_number) const;
    // The console's input flags, as the program left them.
    unsigned local_flags() const;
};

// Console text as a person sees it: without the title sequences ("ESC ] 0 ; ... BEL").
std::string without_titles(const std::string& text);

// What a text written by the program looks like on a pty that turns LF into CR LF.
std::string as_shown(const std::string& written);

// A fresh empty directory for the test's files.
std::string make_temp_dir();

// The file's bytes, or "<missing>" when it cannot be read.
std::string read_file(const std::string& path);

long long monotonic_ms();
