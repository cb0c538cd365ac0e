// The built program on the simulated board's UART, as `make demo` runs it: the demo firmware
// programmed, then the terminal on SIM with the F-keys an operator uses.
#include <gtest/gtest.h>

#include <string>

#include "e2e/pty_harness.h"
#include "support/blink_example.h"

namespace {

const std::string DEMO = blink_example("elf");

const std::string BANNER = "KESTO board demo: MSP430G2553, LED on P1.0, UART 9600 8N1";

std::vector<std::string> demo(const std::string& fet = "SIM", const std::string& baud = "9600") {
    return {"SIM", "-FET", fet, "-baud", baud, "-a", "0", "+ebpv", DEMO};
}

}  // namespace

TEST(BoardE2E, TheDemoTalksEchoesAndComesBackAfterF5AndF9) {
    Console console(demo());
    ASSERT_TRUE(console.wait_for(BANNER));
    ASSERT_TRUE(console.wait_for("ENQ sent, the host answered ACK"));
    ASSERT_TRUE(console.wait_for("LED on   count 1"));
    const std::size_t typed = console.text.size();
    console.type("echo me");
    EXPECT_TRUE(console.wait_for("echo me", typed, 2000));
    ASSERT_TRUE(console.wait_for("LED off  count 2", typed));
    // Asleep in LPM3 between its seconds, the board costs its host next to nothing.
    EXPECT_LT(cpu_share_over(console.pid, 700), under_valgrind() ? 0.2 : 0.02);

    std::size_t from = console.text.size();
    console.type(KEY_F5);
    ASSERT_TRUE(console.wait_for("Reset...", from));
    from = console.text.find("Reset...", from);
    ASSERT_TRUE(console.wait_for(BANNER, from));
    EXPECT_TRUE(console.wait_for("LED on   count 1", from));

    from = console.text.size();
    console.type(KEY_F9);
    ASSERT_TRUE(console.wait_for("Programmer started", from));
    from = console.text.find("Programmer started", from);
    ASSERT_TRUE(console.wait_for("Programm & Verify...wait... -OK", from));
    ASSERT_TRUE(console.wait_for(BANNER, from));
    EXPECT_TRUE(console.wait_for("ENQ sent, the host answered ACK", from));

    console.type(KEY_F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
    EXPECT_NE(console.text.find(SHOWN_STOPPED), std::string::npos);
}

// At 19200 the board's 9600 baud reaches nothing: one line, once, names its rate; F10 still leaves.
TEST(BoardE2E, ABoardAtAnotherRateSaysSoAndSendsNothing) {
    Console console(demo("SIM", "19200"));
    ASSERT_TRUE(console.wait_for(" baud, not at 19200 (-baud): nothing it sends arrives"));
    console.settle(300);
    EXPECT_EQ(console.text.find("KESTO board demo"), std::string::npos);
    EXPECT_EQ(console.text.find("The board's UART runs at"), console.text.rfind("The board's UART runs at"));
    console.type(KEY_F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
}

// The port opens before the pass, so a refused SIM programs nothing.
TEST(BoardE2E, SimWithARealAdapterIsRefusedBeforeAnyProgramming) {
    Console console(demo("TIUSB"));
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 2);
    EXPECT_NE(console.text.find("Can't open SIM: it is the UART of the simulated MSP430G2553 board and needs -FET SIM"),
              std::string::npos)
        << console.text;
    EXPECT_EQ(console.text.find("Identifed"), std::string::npos);
}
