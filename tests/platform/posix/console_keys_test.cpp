#include "platform/console_keys.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "base/console.h"
#include "platform/temporary_file.h"
#include "support/capture.h"

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
    EXPECT_EQ(out.text, "\nPress AnyKey to Exit\n\a\a\a");
    EXPECT_EQ(out.status, 2);
    EXPECT_TRUE(tcgetattr(slave, &now) == 0 && now.c_lflag == before.c_lflag);
    close(master), close(slave);
}

// Whatever the handler's own calls met (here a temporary file gone already).
TEST(StopRequest, WhileListeningLeavesErrnoAsItWas) {
    const pid_t child = fork();
    if (child == 0) {
        std::string path, reason;
        std::FILE* file = create_temporary_file(".hex", path, reason);
        if (!file) _exit(3);
        std::fclose(file), unlink(path.c_str());
        console_keys_install(), console_stops_listen(true);
        errno = EDOM;
        raise(SIGTERM);
        _exit(!console_stop_requested() ? 4 : errno != EDOM ? 5 : 0);
    }
    int status = 0;
    pid_t reaped = 0;
    for (int i = 0; i < 5000 && (reaped = waitpid(child, &status, WNOHANG)) == 0; ++i) usleep(1000);  // 5 s at most
    if (reaped != child) kill(child, SIGKILL), waitpid(child, nullptr, 0);
    EXPECT_TRUE(reaped == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
