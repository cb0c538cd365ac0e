// The built program on the simulated board's UART, as `make demo` runs it.
#include <gtest/gtest.h>

#include "e2e/pty_harness.h"
#include "support/blink_example.h"

namespace {

const std::string DEMO = blink_example("elf");
const std::string BANNER = "KESTO board demo: MSP430G2553, LED on P1.0, UART 9600 8N1";

std::vector<std::string> demo(const std::string& fet, const std::string& baud) {
    return {"SIM", "-FET", fet, "-baud", baud, "-a", "0", "-d", "4", "-info", "+ebpv", DEMO};
}

}  // namespace

// F9's pass leaves -info out: the identification line instead of the full report.
TEST(BoardE2E, TheDemoTalksAndComesBackAfterF5AndF9) {
    Console console(demo("SIM", "9600"));
    ASSERT_TRUE(console.wait_for(BANNER) && console.wait_for("ENQ sent, the host answered ACK"));
    ASSERT_TRUE(console.wait_for("LED on   count 1"));
    std::size_t from = console.text.size();
    ASSERT_TRUE(console.wait_for("LED off  count 2", from));
    // Asleep in LPM3 between its seconds, the board costs its host next to nothing.
    EXPECT_LT(cpu_share_over(console.pid, 700), under_valgrind() ? 0.2 : 0.02);

    from = console.text.size();
    console.type(KEY_F5);
    ASSERT_TRUE(console.wait_for(as_shown("Reset/Start device -OK\n"), from) && console.wait_for(BANNER, from));
    // The board may be heard between the key and its answer.
    EXPECT_NE(without_titles(console.text.substr(from)).find(as_shown("\nReset...\nInitializing FET -OK. DLL")),
              std::string::npos);
    EXPECT_TRUE(console.wait_for("ENQ sent, the host answered ACK", from));

    from = console.text.size();
    console.type(KEY_F9);
    ASSERT_TRUE(console.wait_for("[F9]-Programming\r\n", from) && console.wait_for(BANNER, from));
    const std::string pass = without_titles(console.text.substr(from));
    EXPECT_NE(pass.find(as_shown("\nProgrammer started\n")), std::string::npos) << pass;
    EXPECT_NE(pass.find("Identifed: MSP430G2553 ID:"), std::string::npos) << pass;
    EXPECT_NE(pass.find("Programm & Verify...wait... -OK"), std::string::npos) << pass;
    EXPECT_NE(console.text.find("  -Programming    [F9=" + DEMO + "]\a", from), std::string::npos);
    EXPECT_TRUE(console.wait_for("ENQ sent, the host answered ACK", from));

    console.type(KEY_F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
    EXPECT_NE(console.text.find(SHOWN_STOPPED), std::string::npos);
}

// The port opens before the pass, so a refused SIM programs nothing.
TEST(BoardE2E, AnotherRateOrARealAdapter) {
    Console slow(demo("SIM", "19200")), refused(demo("TIUSB", "9600"));
    ASSERT_TRUE(slow.wait_for(" baud, not at 19200 (-baud): nothing it sends arrives"));
    slow.settle(300);
    EXPECT_EQ(slow.text.find("KESTO board demo"), std::string::npos);
    EXPECT_EQ(slow.text.find("The board's UART runs at"), slow.text.rfind("The board's UART runs at"));
    slow.type(KEY_F10);
    ASSERT_TRUE(slow.wait_exit() && refused.wait_exit());
    EXPECT_EQ(slow.status, 0);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.text.find("Can't open SIM: it is the UART of the simulated MSP430G2553 board and needs -FET SIM"),
              std::string::npos) << refused.text;
    EXPECT_EQ(refused.text.find("Identifed"), std::string::npos);
}
