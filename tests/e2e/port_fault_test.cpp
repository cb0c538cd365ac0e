// The serial device going away and coming back, and a second program reaching for a port
// that is in use.
#include <gtest/gtest.h>

#include <string>

#include "e2e/fault_harness.h"

namespace {

// A generous bound: a loop that spins on a hung-up device takes a whole core.
constexpr double IDLE_SHARE_MAX = 0.30;

TEST(PortFault, UnpluggedPortNeitherCrashesNorSpinsAndF4BringsItBack) {
    BoardSession session;
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.board_says("before\r", "before\r\r\n"));

    session.line->vanish();
    // Gone for a while, no key typed: the terminal must sleep, not poll the dead device.
    EXPECT_LT(cpu_share_over(session.console->pid, 1000), IDLE_SHARE_MAX);

    const std::size_t from = session.console->text.size();
    session.console->type("k");
    const std::string failed = session.link + " Error. Press [F4] for Reopen.";
    ASSERT_TRUE(session.console->wait_for(failed, from)) << session.console->text;
    // After the failed write it still waits in the kernel.
    EXPECT_LT(cpu_share_over(session.console->pid, 1000), IDLE_SHARE_MAX);

    session.replug();
    session.console->type(KEY_F4);
    ASSERT_TRUE(session.console->wait_for(SHOWN_STARTED, from));
    session.console->type("m");
    EXPECT_EQ(session.line->receive(1), "m");
    ASSERT_TRUE(session.board_says("after\r", "after\r\r\n"));
    session.console->type(KEY_F10);
    ASSERT_TRUE(session.console->wait_exit());
    EXPECT_EQ(session.console->status, 0);
    EXPECT_EQ(without_titles(session.console->text.substr(from)),
              as_shown(failed + "\nWait...\n\n\nDumb Terminal started\nafter\r\n\n\nTerminal stopped\n\n"));
    EXPECT_EQ(session.log(), "before\r\nafter\r\n");
}

TEST(PortFault, ASecondProgramIsRefusedAndTheFirstGoesOn) {
    BoardSession first;
    ASSERT_TRUE(first.started());

    Console second({first.line->path, "-m", "-a", "0"});
    ASSERT_TRUE(second.wait_exit());
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(without_titles(second.text),
              as_shown("KESTO 1.0  MSP430 programmer and serial terminal\n"
                       "\t     Serial Port: " + first.line->path + "    Baud: 19200\n" +
                       "Can't open " + first.line->path + ". Error: 16\n" +
                       "  Device or resource busy: another program holds " + first.line->path + "; close it\n" +
                       "  (fuser -v " + first.line->path + " shows which).\n"));

    // The first still has the line to itself, both ways.
    ASSERT_TRUE(first.board_says("still here\r", "still here\r\r\n"));
    first.console->type("q");
    EXPECT_EQ(first.line->receive(1), "q");
    first.console->type(KEY_F10);
    ASSERT_TRUE(first.console->wait_exit());
    EXPECT_EQ(first.console->status, 0);
    EXPECT_EQ(first.log(), "still here\r\n");
}

}  // namespace
