// The terminal through the built program; the manual page beside the usage.
#include <sys/file.h>

#include <gtest/gtest.h>

#include "e2e/pty_harness.h"

namespace {

// 1500 CRs are more than one read, each growing to two bytes. A log that cannot be opened leaves
// the terminal running without a word; one that opens but takes nothing is named once.
TEST(TerminalE2E, RendersToConsoleAndLogAlike) {
    std::string high, crlf_1500;
    for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
    for (int i = 0; i < 1500; ++i) crlf_1500 += "\r\n";
    const std::string start = "AB\r\nCD\n\x1b[2J|100% %s %n|\t\b" + std::string("\x07\x00\x0c\x7f", 4) + "\r\x05" "END";
    const std::string cp1251 = std::string(0x28, '.') + "Ё" + std::string(0x0F, '.') + "ё" + std::string(0x07, '.') +
                               "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
    const std::string plain = "AB\r\nCD[2J|100% %s %n|\t\b\x7f\r\nEND" + crlf_1500 + cp1251 + "!";
    const std::string unchanged = "AB\r\nCD\n[2J|100% %s %n|\t\b\x7f\rEND" + std::string(1500, '\r') + high + "!";
    const ScratchFolder elsewhere;
    const std::string full = as_shown("\nCannot write the log /dev/full: No space left on device; the terminal goes "
                                      "on without it\n");
    const struct { std::vector<std::string> options; std::string stop_key, rendered, logged, notice; } cases[] = {
        {{}, KEY_F10, plain, plain, ""},
        {{"-crlf", "-oem"}, "\x18", unchanged, unchanged, ""},
        {{"-l", "/dev/full"}, KEY_F10, plain, "<missing>", full},
        {{"-l", elsewhere.path("missing/board.log")}, KEY_F10, plain, "<missing>", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.empty() ? "no options" : c.options.back());
        Session session(c.options);
        ASSERT_TRUE(session.started());
        EXPECT_TRUE(without_titles(session.console->text.substr(0, session.after_banner))
                        .ends_with(as_shown("    Baud: 19200\n\nDumb Terminal started\n\t [F10]-Exit [F5]-Reset\n")));
        session.line->send(start + std::string(1500, '\r') + high + "!");
        EXPECT_EQ(session.line->receive(1), "\x06");  // the enquiry is answered, not shown
        ASSERT_TRUE(session.console->wait_for("!", session.after_banner));
        EXPECT_TRUE(session.stop(c.stop_key));
        EXPECT_EQ(session.log(), c.logged);
        std::string shown = session.shown();
        const std::size_t notice = c.notice.empty() ? std::string::npos : shown.find(c.notice);
        if (!c.notice.empty()) {
            ASSERT_NE(notice, std::string::npos) << shown;
            shown.erase(notice, c.notice.size());
            EXPECT_EQ(shown.find(c.notice), std::string::npos);
        }
        EXPECT_EQ(shown, as_shown(c.rendered) + SHOWN_STOPPED);
        EXPECT_EQ(session.line->receive(1, 100), "");
    }
    EXPECT_FALSE(std::filesystem::exists(elsewhere.path("missing")));
}

// Ctrl-] sends the last line again (64 bytes at most, no Enter); a line shorter than 2 keeps the
// one before. Shift+F1 and Shift+Tab are codes the terminal has no use for.
TEST(TerminalE2E, KeysReachTheBoardAndTheLineIsRecalled) {
    Session session;
    ASSERT_TRUE(session.started());
    std::string seventy;
    for (int i = 0; i < 70; ++i) seventy += static_cast<char>('A' + i % 26);
    const std::pair<std::string, std::string> steps[] = {
        {"\x1d" "l", "l"}, {"s", "s"}, {"\r", "\r"}, {"a\r", "a\r"}, {"\x1d", "ls"}, {"\x03\x7f", "\x03\x08"},
        {"\x1b[A", "\xE0\x48"}, {"\x1b[23~", "\xE0\x85"}, {"\x1b[1;5A", "\xE0\x8D"},
        {"\x1b[1;2P\x1b[Z\x1b[99~y", "y"}, {"\x1b", "\x1b"}, {KEY_F4 + "x", "x"}, {"\r" + seventy + "\r", "\r" + seventy + "\r"},
        {"\x1d", seventy.substr(0, 64)}};
    for (const auto& [keys, at_board] : steps) EXPECT_EQ(session.key(keys, at_board.size()), at_board) << keys;
    EXPECT_EQ(session.line->receive(1, 100), "");
    EXPECT_TRUE(session.stop("\x1bO"));  // Alt+O
    EXPECT_EQ(session.shown(), SHOWN_STOPPED);
}

// F1 shows the usage and raises the level from 0 to 2, so the failed open below shows in full.
TEST(TerminalE2E, WithoutAPortF1ShowsTheUsageAKeyFailsAndF4EndsInAFailedOpen) {
    Console console({"-m", "-a", "0", "-d", "0"});
    ASSERT_TRUE(console.wait_for("[F10]-Exit [F5]-Reset\r\n"));
    const std::size_t from = console.text.size();
    console.type(KEY_F1);
    ASSERT_TRUE(console.wait_for("e.g. /dev/ttyUSB0 or /dev/serial/by-id/...\r\n", from));
    EXPECT_EQ(without_titles(console.text.substr(from)).rfind(as_shown("\rUsage:    \n"), 0), 0u);
    const std::size_t after_usage = console.text.size();
    console.type("x");
    ASSERT_TRUE(console.wait_for("Error. Press [F4] for Reopen.", after_usage));
    console.type(KEY_F4);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 2);
    EXPECT_EQ(without_titles(console.text.substr(after_usage)), as_shown(" Error. Press [F4] for Reopen.\nWait...\n"
              "Can't open . Error: 2\n  No port was named: give a COM name or a device path first.\n"));
}

// Keys typed while the port is lost go nowhere; a line another program holds is named once.
TEST(ReconnectE2E, APortThatComesBackIsOpenedAgainBusyOrNot) {
    Session session;
    Console& console = *session.console;
    ASSERT_TRUE(session.started());
    const std::string port = session.line->path;
    Console second({port, "-m", "-a", "0"});
    ASSERT_TRUE(second.wait_exit());
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.text.find(as_shown("Can't open " + port + ". Error: 16\n  Device or resource busy: another "
                                        "program holds " + port + "; close it\n")), std::string::npos) << second.text;
    ASSERT_TRUE(session.board_says("before\r", "before\r\r\n"));
    const std::string lost = "Port lost, waiting for " + session.link + " to come back... [F10]-Exit\n";
    session.unplug();
    ASSERT_TRUE(console.wait_for(as_shown(lost), session.after_banner));
    console.type("k" + KEY_F4);
    EXPECT_LT(cpu_share_over(console.pid, 1000), under_valgrind() ? 0.2 : 0.01);
    auto line = std::make_unique<SerialLine>();
    const int holder = open(line->path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    session.line = std::move(line);
    session.repoint(session.line->path);
    const std::string busy = session.link + " is back but cannot be opened. Error: 16\n  Device or resource busy: "
                             "another program holds " + session.link + "; close it\n  (fuser -v " + session.link +
                             " shows which).\n";
    ASSERT_TRUE(console.wait_for(as_shown(busy), session.after_banner));
    console.settle(1000);
    close(holder);
    const std::string back = "Port back: " + session.link + "\n";
    ASSERT_TRUE(console.wait_for(as_shown(back), session.after_banner));
    ASSERT_TRUE(session.board_says("after\r", "after\r\r\n"));
    EXPECT_EQ(session.key("m", 1), "m");
    session.unplug();
    ASSERT_TRUE(console.wait_for(as_shown(lost), console.text.rfind("after")));
    EXPECT_TRUE(session.stop());
    EXPECT_EQ(session.shown(), as_shown("before\r\n" + lost + busy + back + "after\r\n" + lost) + SHOWN_STOPPED);
    EXPECT_EQ(session.log(), "before\r\nafter\r\n");
}

TEST(ManualPage, DescribesEveryOptionOfTheUsageText) {
    const ProcessRun usage = run_process([] { execl(KESTO_BINARY, KESTO_BINARY, "-h", "-a", "0", nullptr); });
    // The manual writes a hyphen as "\-" so that it is not typeset as a dash.
    const std::string manual =
        std::regex_replace(read_file(KESTO_SOURCE_DIR "/doc/kesto.1"), std::regex(R"(\\-)"), "-");
    // Option lines of the usage text begin with two blanks and the option word.
    const std::regex option_line(R"((^|\n)  (--?[A-Za-z]+))");
    std::size_t count = 0;
    for (std::sregex_iterator it(usage.text.begin(), usage.text.end(), option_line), end; it != end; ++it, ++count) {
        const std::string option = (*it)[2];
        EXPECT_TRUE(std::regex_search(manual, std::regex("(^|[^A-Za-z-])" + option + "([^A-Za-z]|$)"))) << option;
    }
    EXPECT_GE(count, 18u) << usage.text;
}

}  // namespace
