// Unattended runs through the built program: their status and closing line.
#include <gtest/gtest.h>

#include <thread>

#include "e2e/pty_harness.h"
#include "support/run_program.h"

namespace {

// Each piece follows a pause; an empty one unplugs the line. "-a 2" would wait for a key at exit
// in an ordinary run.
TEST(UnattendedE2E, EndsWithTheStatusOfWhatCameFirst) {
    const std::vector<std::string> pass_or_fail = {"-expect", "PASS", "-error", "FAIL", "-timeout", "10", "-a", "2"};
    const struct { std::vector<std::string> options; std::vector<std::string> pieces; int status; std::string line;
    } cases[] = {
        {pass_or_fail, {"self-test\r", "PA", "SS\r"}, 0, "Expected text seen: \"PASS\""},
        {pass_or_fail, {"self-test\r", "FA", "IL 3\r"}, 5, "Error text seen: \"FAIL\""},
        {{"-expect", "READY", "-expect", "PASS\\r\\n", "-timeout", "10"}, {"PASS\r", "READY"}, 0,
         "Expected texts seen: \"READY\", \"PASS\\r\\n\""},
        {{"-expect", "PASS", "-timeout", "0.5"}, {}, 6, "Time-out after 0.5 s, expected text not seen: \"PASS\""},
        {{"-expect", "A", "-expect", "B", "-expect", "C", "-timeout", "1"}, {"B"}, 6,
         "Time-out after 1 s, expected texts not seen: \"A\", \"C\""},
        {{"-error", "FAIL", "-timeout", "0.5"}, {"ok\r"}, 0, "Time-out after 0.5 s, no error text seen"},
        {{"-expect", "PASS", "-timeout", "1"}, {""}, 6, "Time-out after 1 s, expected text not seen: \"PASS\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Session session(c.options);
        ASSERT_TRUE(session.started());
        std::string sent, lost;
        for (const std::string& piece : c.pieces) {
            usleep(150'000);
            if (piece.empty()) session.unplug(), lost = "Port lost, waiting for " + session.link + " to come back... [F10]-Exit\n";
            else session.line->send(piece), sent += piece;
        }
        ASSERT_TRUE(session.console->wait_exit(5000));
        EXPECT_EQ(session.console->status, c.status);
        std::string rendered;
        for (char byte : sent) rendered += byte == '\r' ? std::string("\r\n") : std::string(1, byte);
        EXPECT_EQ(session.shown(), as_shown(rendered + lost + "\n" + c.line + "\n"));
        EXPECT_EQ(session.log(), rendered + "\r\n" + c.line + "\r\n");
        EXPECT_EQ(session.console->local_flags(), session.console->initial_local_flags);
    }
}

TEST(UnattendedE2E, TheTimeOutIsNotResetByF9) {
    Session session({"-FET", "SIM", "+p", "examples/blink/blink.elf", "-expect", "NEVER", "-timeout", "4"},
                    KESTO_SOURCE_DIR);
    ASSERT_TRUE(session.started());
    usleep(2'500'000);
    const std::size_t from = session.console->text.size();
    session.console->type(KEY_F9);
    ASSERT_TRUE(session.console->wait_for(SHOWN_STARTED, from, 20000));
    const long long restarted = monotonic_ms();
    ASSERT_TRUE(session.console->wait_exit(20000));
    // Started afresh, the clock would run for another 4 s from the new start.
    EXPECT_LT(monotonic_ms() - restarted, 3000);
    EXPECT_EQ(session.console->status, 6);
    EXPECT_TRUE(session.shown().ends_with(as_shown("\nTime-out after 4 s, expected text not seen: \"NEVER\"\n")));
}

// As in "printf 'selftest\r' | kesto ...". Without a port and without a time-out nothing could
// ever end the wait, so the run ends at once.
TEST(UnattendedE2E, KeysFromAPipeAndItsEnd) {
    const struct { bool port, answer; std::vector<std::string> options; int status; std::string last_line; } cases[] = {
        {true, true, {"-expect", "PASS", "-timeout", "10"}, 0, "Expected text seen: \"PASS\"\n"},
        {true, false, {"-expect", "PASS", "-timeout", "1"}, 6,
         "Time-out after 1 s, expected text not seen: \"PASS\"\n"},
        {false, false, {"-expect", "PASS"}, 6, "No port and no more input, expected text not seen: \"PASS\"\n"},
        {false, false, {"-a", "0"}, 0, "\nTerminal stopped\n\n"},
        {true, true, {}, -1, "running\r\nPASS\r\n"},  // still running at the deadline
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last_line);
        SerialLine line;
        std::thread board([&] {
            if (!c.port) return;
            EXPECT_EQ(line.receive(9), "selftest\r");
            usleep(300'000);  // well after the pipe has ended
            if (c.answer) line.send("running\rPASS\r");
        });
        const ProcessRun run = run_process([&] {
            int keys[2];
            if (pipe(keys) != 0 || write(keys[1], "selftest\r", 9) != 9) _exit(198);
            close(keys[1]), dup2(keys[0], STDIN_FILENO), close(keys[0]);
            std::vector<std::string> args = {KESTO_BINARY};
            if (c.port) args.push_back(line.path);
            args.push_back("-m");
            args.insert(args.end(), c.options.begin(), c.options.end());
            exec_program(args);
        }, c.status < 0 ? 2500 : 10000);
        board.join();
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.text.ends_with("\n" + c.last_line)) << run.text;
        EXPECT_EQ(run.text.find("Press AnyKey"), std::string::npos);
        if (c.answer) {
            EXPECT_NE(run.text.find("running\r\nPASS\r\n"), std::string::npos) << run.text;
        }
    }
}

// The firmware turns its UART on 30 ms after reset: the virtual board must be as far along when
// the terminal starts as a real one would be.
TEST(UnattendedE2E, PipedKeysReachAFirmwareThatStartsItsUartLate) {
    const std::string late = std::string(KESTO_SIM_FIRMWARE) + "/late_uart.elf";
    if (access(late.c_str(), R_OK) != 0) GTEST_SKIP() << "no MSP430 clang and ld.lld to build " << late << " with";
    for (int run = 0; run < 20; ++run) {
        const ProcessRun result = run_process([&] {
            int keys[2];
            if (pipe(keys) != 0 || write(keys[1], "abcdef", 6) != 6) _exit(198);
            close(keys[1]), dup2(keys[0], STDIN_FILENO), close(keys[0]);
            exec_program({KESTO_BINARY, "SIM", "-FET", "SIM", "-baud", "9600", "+p", late, "-expect", "abcdef",
                          "-timeout", "5"});
        }, 10000);
        ASSERT_EQ(result.status, 0) << "run " << run << ":\n" << result.text;
    }
}

}  // namespace
