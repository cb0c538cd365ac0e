#include "driver/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "driver/run_settings.h"
#include "platform/console_keys.h"
#include "support/capture.h"

namespace {

const std::string PROMPT = "\nPress AnyKey to Exit\n";
const std::string BELLS = "\a\a\a";
constexpr int DEADLINE_MS = 5000;

long long now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// ---------------------------------------------------------------------------------------------
// Leveled messages

TEST(PrintAtLevel, ShowsLevelsUpToThePrintLevelAndFlushesAtOnce) {
    settings = RunSettings{};
    const auto levels = [] {
        for (int level = 0; level <= 4; ++level) print_at_level(level, "%d;", level);
        _exit(0);  // no flush on the way out: only what print_at_level flushed arrives
    };
    EXPECT_EQ(capture_output(levels).text, "0;1;2;");
    settings.print_level = 3;
    EXPECT_EQ(capture_output(levels).text, "0;1;2;3;");
    settings.print_level = 0;
    EXPECT_EQ(capture_output(levels).text, "0;");
    settings = RunSettings{};
}

// ---------------------------------------------------------------------------------------------
// The title

std::string title_for(const char* text) {
    char title[600];
    compose_title(text, title, sizeof title);
    return title;
}

TEST(ConsoleTitle, ElementsInTheirOrderWithTheirBlanks) {
    settings = RunSettings{};
    EXPECT_EQ(title_for("-Programming"), "KESTO Terminal  [TIUSB]  -Programming");
    EXPECT_EQ(title_for(""), "KESTO Terminal  [TIUSB]");

    settings.fet_port[0] = 0;
    EXPECT_EQ(title_for("-Programming"), "KESTO Terminal  -Programming");

    std::snprintf(settings.fet_port, sizeof settings.fet_port, "SIM");
    std::snprintf(settings.port_name, sizeof settings.port_name, "/dev/ttyUSB0");
    settings.program_file = "blink.hex";
    EXPECT_EQ(title_for("Wait..."), "KESTO Terminal  [/dev/ttyUSB0]  [SIM]  Wait...    [F9=blink.hex]");
    EXPECT_EQ(title_for(""), "KESTO Terminal  [/dev/ttyUSB0]  [SIM]    [F9=blink.hex]");
    settings = RunSettings{};
}

TEST(ConsoleTitle, LongestNamesFitWhole) {
    settings = RunSettings{};
    std::snprintf(settings.port_name, sizeof settings.port_name, "%s", std::string(NAME_SIZE - 1, 'p').c_str());
    std::snprintf(settings.fet_port, sizeof settings.fet_port, "%s", std::string(NAME_SIZE - 1, 'f').c_str());
    settings.program_file = std::string(300, 'h');
    EXPECT_EQ(title_for("-Programming"), "KESTO Terminal  [" + std::string(NAME_SIZE - 1, 'p') + "]  [" +
                                             std::string(NAME_SIZE - 1, 'f') + "]  -Programming    [F9=" +
                                             std::string(300, 'h') + "]");
    settings = RunSettings{};
}

// ---------------------------------------------------------------------------------------------
// exit_program with standard input not a terminal: never a wait, whatever the mode

struct ExitCase {
    int code;
    int anykey_mode;
    std::string text;
    int status;
};

TEST(ExitProgram, EveryCodeAndKeyModeWithoutATerminal) {
    const std::string prompt_bells = PROMPT + BELLS;
    const ExitCase cases[] = {
        {1, 0, "", 1},          {2, 0, "", 2},          {3, 0, "", 3},
        {EXIT_DONE, 0, "", 0},  {EXIT_QUIET, 0, "", 0},
        {1, 1, prompt_bells, 1}, {2, 1, prompt_bells, 2}, {3, 1, prompt_bells, 3},
        {EXIT_DONE, 1, "", 0},  {EXIT_QUIET, 1, "", 0},
        {1, 2, prompt_bells, 1}, {2, 2, prompt_bells, 2}, {3, 2, prompt_bells, 3},
        {EXIT_DONE, 2, PROMPT, 0}, {EXIT_QUIET, 2, "", 0},
        // Any other mode waits as 2 does.
        {2, 7, prompt_bells, 2}, {EXIT_DONE, 7, PROMPT, 0},
    };
    for (const ExitCase& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code) + " anykey_mode " + std::to_string(c.anykey_mode));
        settings = RunSettings{};
        settings.anykey_mode = c.anykey_mode;
        const Captured out = capture_output([&c] {
            std::fputs("before", stdout);  // unflushed output still arrives
            exit_program(c.code);
        });
        EXPECT_EQ(out.text, "before" + c.text);
        EXPECT_EQ(out.status, c.status);
        EXPECT_FALSE(out.timed_out);
    }
    settings = RunSettings{};
}

TEST(ExitProgram, PromptShowsAtPrintLevelZero) {
    settings = RunSettings{};
    settings.print_level = 0;
    const Captured out = capture_output([] { exit_program(1); });
    EXPECT_EQ(out.text, PROMPT + BELLS);
    settings = RunSettings{};
}

// ---------------------------------------------------------------------------------------------
// exit_program with standard input a pseudo-terminal

class ExitOnTerminal : public ::testing::Test {
protected:
    int master = -1;
    int slave = -1;
    int out_read = -1;
    pid_t child = -1;
    termios original{};
    std::string output;

    void SetUp() override {
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(tcgetattr(slave, &original), 0);
        settings = RunSettings{};
        // As the program does first thing, here with the test's own standard input: the child
        // must still go raw on the terminal it is given.
        console_keys_install();
    }

    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (out_read >= 0) close(out_read);
        close(master);
        close(slave);
        settings = RunSettings{};
    }

    // The child's standard input is the terminal, its standard output a pipe to us.
    void start(int code) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        std::fflush(nullptr);
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(slave, STDIN_FILENO);
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            close(master);
            exit_program(code);
        }
        close(fds[1]);
        out_read = fds[0];
    }

    // Collects the child's output until it holds `wanted` or the pipe ends.
    bool read_until(const std::string& wanted) {
        const long long end = now_ms() + DEADLINE_MS;
        while (output.find(wanted) == std::string::npos) {
            const long long left = end - now_ms();
            if (left <= 0) return false;
            pollfd pfd{out_read, POLLIN, 0};
            if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
            char chunk[256];
            const ssize_t n = read(out_read, chunk, sizeof chunk);
            if (n <= 0) return false;
            output.append(chunk, static_cast<size_t>(n));
        }
        return true;
    }

    // The exit status, or -1 after the deadline (the child is then killed), or 1000 + signal.
    int wait_exit() {
        const long long end = now_ms() + DEADLINE_MS;
        for (;;) {
            int status = 0;
            const pid_t done = waitpid(child, &status, WNOHANG);
            if (done == child) {
                child = -1;
                read_until("\x01never");  // the rest of the output, up to the end of the pipe
                if (WIFSIGNALED(status)) return 1000 + WTERMSIG(status);
                return WEXITSTATUS(status);
            }
            if (now_ms() > end) return -1;
            usleep(1000);
        }
    }

    // Waits until the child has put the terminal into raw mode for its key wait.
    bool terminal_goes_raw() {
        const long long end = now_ms() + DEADLINE_MS;
        termios mode{};
        while (now_ms() < end) {
            if (tcgetattr(slave, &mode) == 0 && !(mode.c_lflag & ICANON) && !(mode.c_lflag & ECHO)) return true;
            usleep(1000);
        }
        return false;
    }

    void expect_mode_restored() {
        termios now{};
        ASSERT_EQ(tcgetattr(slave, &now), 0);
        EXPECT_EQ(now.c_lflag, original.c_lflag);
        EXPECT_EQ(now.c_iflag, original.c_iflag);
        EXPECT_EQ(now.c_oflag, original.c_oflag);
        EXPECT_EQ(now.c_cc[VMIN], original.c_cc[VMIN]);
    }
};

TEST_F(ExitOnTerminal, FailureWaitsForAKeyThenRestoresTheConsole) {
    settings.anykey_mode = 1;
    start(2);
    ASSERT_TRUE(read_until(PROMPT + BELLS));
    ASSERT_TRUE(terminal_goes_raw());
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "ended without waiting for a key";
    ASSERT_EQ(write(master, "k", 1), 1);
    EXPECT_EQ(wait_exit(), 2);
    EXPECT_EQ(output, PROMPT + BELLS);
    expect_mode_restored();
}

TEST_F(ExitOnTerminal, DoneWaitsWithoutBellsInModeTwo) {
    start(EXIT_DONE);
    ASSERT_TRUE(read_until(PROMPT));
    ASSERT_TRUE(terminal_goes_raw());
    ASSERT_EQ(write(master, "\x1bOP", 3), 3);  // a function key: several bytes, one key
    EXPECT_EQ(wait_exit(), 0);
    EXPECT_EQ(output, PROMPT);
    expect_mode_restored();
}

TEST_F(ExitOnTerminal, KeyTypedBeforeTheWaitEndsItAtOnce) {
    ASSERT_EQ(write(master, "x", 1), 1);
    start(3);
    EXPECT_EQ(wait_exit(), 3);
    EXPECT_EQ(output, PROMPT + BELLS);
    expect_mode_restored();
}

TEST_F(ExitOnTerminal, NoWaitWhereTheModeSaysSo) {
    const struct {
        int code;
        int anykey_mode;
        int status;
    } cases[] = {{1, 0, 1}, {EXIT_DONE, 0, 0}, {EXIT_DONE, 1, 0}, {EXIT_QUIET, 2, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code) + " anykey_mode " + std::to_string(c.anykey_mode));
        settings.anykey_mode = c.anykey_mode;
        output.clear();
        start(c.code);
        EXPECT_EQ(wait_exit(), c.status);
        EXPECT_EQ(output, "");
        close(out_read);
        out_read = -1;
    }
    expect_mode_restored();
}

TEST_F(ExitOnTerminal, SignalDuringTheWaitRestoresTheConsole) {
    start(1);
    ASSERT_TRUE(read_until(PROMPT + BELLS));
    ASSERT_TRUE(terminal_goes_raw());
    kill(child, SIGTERM);
    EXPECT_EQ(wait_exit(), 1000 + SIGTERM);
    expect_mode_restored();
}

TEST(SetTitle, GoesToATerminalOnlyAsAnEscapeSequence) {
    settings = RunSettings{};
    EXPECT_EQ(capture_output([] { set_title("-Programming"); }).text, "");  // a pipe gets nothing

    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(slave, STDOUT_FILENO);
        set_title("-Programming");
        std::fflush(stdout);
        _exit(0);
    }
    close(slave);
    std::string seen;
    const std::string wanted = "\x1b]0;KESTO Terminal  [TIUSB]  -Programming\a";
    const long long end = now_ms() + DEADLINE_MS;
    while (seen.size() < wanted.size() && now_ms() < end) {
        pollfd pfd{master, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) continue;
        char chunk[256];
        const ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0) break;
        seen.append(chunk, static_cast<size_t>(n));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(master);
    EXPECT_EQ(seen, wanted);
}

}  // namespace
