// The terminal's keys that reach the FET adapter (F5 reset, F9 program), through the built program
// and the simulated adapter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/pty_harness.h"

namespace {

const std::string STARTED = as_shown("\nDumb Terminal started\n");
const std::string F5 = "\x1b[15~";
const std::string F9 = "\x1b" "9";
const std::string F10 = "\x1b[21~";
// An image name is taken relative to the current folder.
const std::string SOURCE_DIR = KESTO_SOURCE_DIR;
const std::string IMAGE = "examples/blink_g2553.hex";

std::vector<std::string> with_port(const std::string& port, std::vector<std::string> options) {
    options.insert(options.begin(), port);
    return options;
}

TEST(TerminalFetE2E, F5ResetsTheTargetAndTheTerminalGoesOn) {
    SerialLine line;
    Console console(with_port(line.path, {"-FET", "SIM", "-m", "-a", "0"}));
    ASSERT_TRUE(console.wait_for(STARTED));
    ASSERT_TRUE(console.wait_for("[F5]-Reset\r\n"));
    std::size_t from = console.text.size();
    console.type(F5);
    ASSERT_TRUE(console.wait_for(as_shown("\nReset...\n"), from));
    console.type("k");
    EXPECT_EQ(line.receive(1), "k");
    // At the default level the reset's steps stay quiet.
    EXPECT_EQ(without_titles(console.text.substr(from)), as_shown("\nReset...\n"));
    console.type(F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
}

TEST(TerminalFetE2E, F5ShowsTheResetStepsAtLevelFour) {
    SerialLine line;
    Console console(with_port(line.path, {"-FET", "SIM", "-m", "-a", "0", "-d", "4"}));
    ASSERT_TRUE(console.wait_for("[F5]-Reset\r\n"));
    const std::size_t from = console.text.size();
    console.type(F5);
    ASSERT_TRUE(console.wait_for(as_shown("Reset/Start device -OK\n"), from));
    const std::string shown = without_titles(console.text.substr(from));
    EXPECT_EQ(shown.rfind(as_shown("\nReset...\nInitializing FET -OK. DLL Version:"), 0), 0u) << shown;
    // The library stays open: a second F5 opens it again and resets again.
    const std::size_t again = console.text.size();
    console.type(F5);
    ASSERT_TRUE(console.wait_for(as_shown("Reset/Start device -OK\n"), again));
    console.type(F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
}

TEST(TerminalFetE2E, F9ProgramsAndTheTerminalStartsAfresh) {
    SerialLine line;
    Console console(with_port(line.path, {"-FET", "SIM", "-m", "-a", "0", "+p", IMAGE}), SOURCE_DIR);
    ASSERT_TRUE(console.wait_for("[F5]-Reset, [F9]-Programming\r\n"));
    const std::size_t from = console.text.size();
    console.type("l");
    EXPECT_EQ(line.receive(1), "l");
    console.type(F9);
    ASSERT_TRUE(console.wait_for(STARTED, from));
    ASSERT_TRUE(console.wait_for("[F5]-Reset, [F9]-Programming\r\n", from));
    const std::string raw = console.text.substr(from);
    const std::string shown = without_titles(raw);
    EXPECT_EQ(shown.rfind(as_shown("\nProgrammer started\n"), 0), 0u) << shown;
    EXPECT_NE(shown.find("Identifed: "), std::string::npos) << shown;
    EXPECT_NE(shown.find("Programming...wait... -OK"), std::string::npos) << shown;
    EXPECT_NE(raw.find("  -Programming    [F9=" + IMAGE + "]\a"), std::string::npos);
    EXPECT_EQ(shown.substr(shown.size() - as_shown("\nDumb Terminal started\n\t [F10]-Exit [F5]-Reset, [F9]-Programming\n").size()),
              as_shown("\nDumb Terminal started\n\t [F10]-Exit [F5]-Reset, [F9]-Programming\n"));

    // The terminal works as before the pass.
    console.type("m");
    EXPECT_EQ(line.receive(1), "m");
    line.send("ok\r");
    ASSERT_TRUE(console.wait_for("ok\r\r\n", from));
    console.type(F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
}

}  // namespace
