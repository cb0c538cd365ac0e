#include "base/console.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "base/run_settings.h"
#include "support/capture.h"

const std::string PROMPT = "\nPress AnyKey to Exit\n", BELLS = PROMPT + "\a\a\a";

// Standard input is /dev/null here: the prompt shows as the mode says, but nothing waits.
TEST(ExitProgram, CodesAndKeyModesWithoutATerminal) {
    const struct { int code, anykey_mode; std::string text; int status; } cases[] = {
        {1, 0, "", 1},          {EXIT_DONE, 0, "", 0}, {3, 1, BELLS, 3},          {EXIT_DONE, 1, "", 0},
        {EXIT_QUIET, 1, "", 0}, {2, 2, BELLS, 2},      {EXIT_DONE, 2, PROMPT, 0}, {EXIT_QUIET, 2, "", 0},
        {EXIT_DONE, 7, PROMPT, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " in mode " + std::to_string(c.anykey_mode));
        settings = RunSettings{};
        settings.anykey_mode = c.anykey_mode, settings.print_level = 0;  // the prompt shows all the same
        // Output not yet flushed still arrives.
        const Captured out = capture_output([&c] { std::fputs("before", stdout), exit_program(c.code); });
        EXPECT_EQ(out.text, "before" + c.text);
        EXPECT_EQ(out.status, c.status);
    }
    settings = RunSettings{};
}

// On a terminal the wait goes raw, a key ends it, and the terminal's mode comes back.
TEST(ExitProgram, AKeyOnATerminalEndsTheWait) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios before{}, now{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    const pid_t typist = fork();  // types one key of three bytes once the wait has gone raw
    if (typist == 0) {
        for (int i = 0; i < 5000; ++i, usleep(1000))  // a deadline of about five seconds
            if (tcgetattr(slave, &now) == 0 && !(now.c_lflag & (ICANON | ECHO))) _exit(write(master, "\x1bOP", 3) != 3);
        _exit(write(master, "\x1bOP", 3) == 3 ? 3 : 2);  // ends the wait all the same
    }
    const Captured out = capture_output([slave] { dup2(slave, STDIN_FILENO), exit_program(2); });
    int typed = -1;
    waitpid(typist, &typed, 0);
    EXPECT_EQ(typed, 0) << "the wait did not go raw";
    EXPECT_EQ(out.text, BELLS);
    EXPECT_EQ(out.status, 2);
    EXPECT_TRUE(tcgetattr(slave, &now) == 0 && now.c_lflag == before.c_lflag);
    close(master), close(slave);
}
