// SIGTERM, SIGHUP and SIGINT from outside at the three places a run can wait: in the terminal,
// in the key wait at exit, and inside a programming pass. Each time the console gets its mode
// back, the log holds everything received, and the run ends as a failure.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/fault_harness.h"
#include "sim/scratch_files.h"

namespace {

enum class Phase { terminal, key_wait, programming };

// The console's mode as the program set it, once it has settled; the mode is set a moment
// after the text before it appears.
bool console_becomes(Console& console, bool raw) {
    const long long deadline = monotonic_ms() + 5000;
    for (;;) {
        const bool is_raw = !(console.local_flags() & ICANON);
        if (is_raw == raw) return true;
        if (monotonic_ms() > deadline) return false;
        usleep(2000);
    }
}

// A copy of kesto with the slow stand-in library beside it, where the loader looks first.
std::string kesto_with_slow_library(const std::string& dir) {
    namespace fs = std::filesystem;
    const std::string program = dir + "/kesto";
    fs::copy_file(KESTO_BINARY, program);
    fs::copy_file(KESTO_SLOW_LIBRARY, dir + "/libmsp430.so");
    return program;
}

// Runs the session to the phase; false when it never got there.
bool reach(BoardSession& session, Phase phase) {
    Console& console = *session.console;
    switch (phase) {
        case Phase::terminal:
            return console_becomes(console, true);
        case Phase::key_wait: {
            // A reopen that fails ends the run with code 2, which "-a 1" makes wait for a key.
            session.unplug();
            console.type("k");
            if (!console.wait_for("Error. Press [F4] for Reopen.", session.after_banner)) return false;
            console.type(KEY_F4);
            return console.wait_for(as_shown("\nPress AnyKey to Exit\n"), session.after_banner) &&
                   console_becomes(console, true);
        }
        case Phase::programming:
            console.type(KEY_F9);
            return console.wait_for("<programming>", session.after_banner) && console_becomes(console, false);
    }
    return false;
}

TEST(Signals, EndTheRunWithTheConsoleRestoredAndTheLogComplete) {
    const struct {
        Phase phase;
        const char* name;
        std::vector<std::string> options;
    } phases[] = {
        {Phase::terminal, "in the terminal", {"-m"}},
        {Phase::key_wait, "in the key wait at exit", {"-m", "-a", "1"}},
        {Phase::programming, "in a programming pass", {"-m", "-FET", "TIUSB"}},
    };
    for (const auto& phase : phases) {
        for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
            SCOPED_TRACE(std::string(phase.name) + ", signal " + std::to_string(signal_number));
            const ScratchFolder copy;
            const std::string program =
                phase.phase == Phase::programming ? kesto_with_slow_library(copy.folder()) : KESTO_BINARY;
            BoardSession session(phase.options, program);
            const unsigned initial = session.console->initial_local_flags;
            ASSERT_TRUE(initial & ICANON);
            ASSERT_TRUE(session.started());
            ASSERT_TRUE(session.board_says("before\r", "before\r\r\n"));
            ASSERT_TRUE(reach(session, phase.phase)) << session.console->text;

            session.console->kill_with(signal_number);
            ASSERT_TRUE(session.console->wait_exit());
            EXPECT_EQ(session.console->signal, signal_number);
            const unsigned restored = session.console->local_flags();
            EXPECT_EQ(restored, initial);
            EXPECT_TRUE((restored & (ICANON | ECHO | ISIG)) == (ICANON | ECHO | ISIG));
            EXPECT_EQ(session.log(), "before\r\n");
        }
    }
}


// Everything the board can send before the line stops taking more, without blocking the test.
void send_until_full(int board) {
    fcntl(board, F_SETFL, fcntl(board, F_GETFL) | O_NONBLOCK);
    const std::string text(4096, 'x');
    long long last_progress = monotonic_ms();
    while (monotonic_ms() - last_progress < 300) {
        if (write(board, text.data(), text.size()) > 0) last_progress = monotonic_ms();
        else usleep(5000);
    }
}

// True when the process ends within ms, which leaves it for waitpid to reap.
bool ends_by_itself(pid_t pid, int ms) {
    const long long deadline = monotonic_ms() + ms;
    while (monotonic_ms() < deadline) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            return true;
        usleep(5000);
    }
    return false;
}

TEST(Signals, EndTheRunWhileTheConsoleTakesNoOutput) {
    for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE("signal " + std::to_string(signal_number));
        BoardSession session;
        ASSERT_TRUE(session.started());
        // Nobody reads the console (an operator's Ctrl-S, a stuck terminal window): the program's
        // next write to it blocks.
        send_until_full(session.line->master);
        session.console->kill_with(signal_number);
        // Reading the console would unblock the program; look for its end without reaping it.
        EXPECT_TRUE(ends_by_itself(session.console->pid, 3000));
        ASSERT_TRUE(session.console->wait_exit());
        EXPECT_EQ(session.console->signal, signal_number);
        EXPECT_EQ(session.console->local_flags(), session.console->initial_local_flags);
        // Every byte received is in the log, the batch the console did not take included.
        const std::string logged = session.log();
        const std::string shown = session.console->text.substr(session.after_banner);
        EXPECT_FALSE(logged.empty());
        EXPECT_EQ(logged.find_first_not_of('x'), std::string::npos);
        EXPECT_LE(static_cast<std::size_t>(std::count(shown.begin(), shown.end(), 'x')), logged.size());
    }
}


TEST(Signals, AClosedConsoleEndsTheRun) {
    BoardSession session;
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.board_says("before\r", "before\r\r\n"));
    // The terminal window is closed: the program loses its console and gets the hang-up.
    close(session.console->master);
    session.console->master = -1;
    ASSERT_TRUE(ends_by_itself(session.console->pid, 5000));
    ASSERT_TRUE(session.console->wait_exit());
    EXPECT_EQ(session.console->signal, SIGHUP);
    EXPECT_EQ(session.log(), "before\r\n");
}

}  // namespace
