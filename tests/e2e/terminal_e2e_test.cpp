// The terminal through the built program: the board on one pseudo-terminal, the operator's
// console on another.
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e/pty_harness.h"

namespace {

const std::string KEY_LINE = "\t [F10]-Exit [F5]-Reset";
const std::string STARTED = as_shown("\nDumb Terminal started\n");
const std::string STOPPED = as_shown("\n\nTerminal stopped\n\n");

const std::string F1 = "\x1bOP";
const std::string F4 = "\x1bOS";
const std::string F5 = "\x1b[15~";
const std::string F9 = "\x1b[20~";
const std::string F10 = "\x1b[21~";
const std::string UP = "\x1b[A";

// A terminal session on a fresh serial line, started without a programming pass.
struct Session {
    SerialLine line;
    std::unique_ptr<Console> console;
    std::size_t after_banner = 0;

    explicit Session(std::vector<std::string> options = {}, const std::string& cwd = "") {
        std::vector<std::string> args = {line.path, "-m", "-a", "0"};
        args.insert(args.end(), options.begin(), options.end());
        console = std::make_unique<Console>(args, cwd);
    }

    // Waits for the banner and the line after it; false when it never came.
    bool started(const std::string& key_line_end = "\r\n") {
        if (!console->wait_for(STARTED)) return false;
        const std::size_t banner = console->text.find(STARTED);
        if (!console->wait_for(key_line_end, banner + STARTED.size())) return false;
        after_banner = console->text.find(key_line_end, banner + STARTED.size()) + key_line_end.size();
        return true;
    }

    // Console text after the banner, without title sequences.
    std::string shown() const { return without_titles(console->text.substr(after_banner)); }

    // Types a key and waits until `count` bytes reached the board.
    std::string key_to_board(const std::string& keys, std::size_t count) {
        console->type(keys);
        return line.receive(count);
    }

    bool stop_with(const std::string& keys) {
        console->type(keys);
        return console->wait_exit();
    }
};

std::string high_bytes() {
    std::string all;
    for (int c = 0x80; c <= 0xFF; ++c) all += static_cast<char>(c);
    return all;
}

// Windows-1251 upper half as the console shows it without -oem.
std::string high_bytes_as_utf8() {
    std::string out(0x40, '.');
    out[0xA8 - 0x80] = '\x01';
    out[0xB8 - 0x80] = '\x02';
    std::string result;
    for (char c : out) {
        if (c == '\x01') result += "Ё";
        else if (c == '\x02') result += "ё";
        else result += c;
    }
    result += "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
    return result;
}

// What the board sends in the rendering tests, ending with a marker to wait for.
const std::string BOARD_TEXT = std::string("AB\r\n") + "CD\n" + "\x1b[2J" + "|100% %s %n|" + "\t\b" + std::string("\x07\x00\x0c\x7f", 4) +
                               "\r" + "END";

TEST(TerminalE2E, RendersWithoutCrlfToConsoleAndLogAlike) {
    const std::string dir = make_temp_dir();
    Session session({"-l", "log.txt"}, dir);
    ASSERT_TRUE(session.started());
    session.line.send(BOARD_TEXT + "\x05" + high_bytes() + "!");
    EXPECT_EQ(session.line.receive(1), "\x06");
    ASSERT_TRUE(session.console->wait_for("!", session.after_banner));
    ASSERT_TRUE(session.stop_with(F10));
    EXPECT_EQ(session.console->status, 0);

    const std::string rendered = "AB\r\nCD[2J|100% %s %n|\t\b\x7f\r\nEND" + high_bytes_as_utf8() + "!";
    EXPECT_EQ(read_file(dir + "/log.txt"), rendered);
    EXPECT_EQ(session.shown(), as_shown(rendered) + STOPPED);
    EXPECT_EQ(session.line.drain(), "");
}

TEST(TerminalE2E, RendersWithCrlfAndOemUnchanged) {
    const std::string dir = make_temp_dir();
    Session session({"-crlf", "-oem", "-l", "log.txt"}, dir);
    ASSERT_TRUE(session.started());
    session.line.send(BOARD_TEXT + high_bytes() + "!");
    ASSERT_TRUE(session.console->wait_for("!", session.after_banner));
    ASSERT_TRUE(session.stop_with("\x18"));
    const std::string rendered = "AB\r\nCD\n[2J|100% %s %n|\t\b\x7f\rEND" + high_bytes() + "!";
    EXPECT_EQ(read_file(dir + "/log.txt"), rendered);
    EXPECT_EQ(session.shown(), as_shown(rendered) + STOPPED);
}

TEST(TerminalE2E, EnquiryIsAnsweredAndNotShown) {
    Session session;
    ASSERT_TRUE(session.started());
    session.line.send("\x05");
    EXPECT_EQ(session.line.receive(1), "\x06");
    session.line.send("\x05\x05");
    EXPECT_EQ(session.line.receive(2), "\x06\x06");
    ASSERT_TRUE(session.stop_with(F10));
    EXPECT_EQ(session.shown(), STOPPED);
}

TEST(TerminalE2E, FullBatchesOfCarriageReturnsAreShownWhole) {
    const std::string dir = make_temp_dir();
    Session session({"-l", "log.txt"}, dir);
    ASSERT_TRUE(session.started());
    session.line.send(std::string(1500, '\r') + "!");
    ASSERT_TRUE(session.console->wait_for("!", session.after_banner));
    ASSERT_TRUE(session.stop_with(F10));
    std::string rendered;
    for (int i = 0; i < 1500; ++i) rendered += "\r\n";
    rendered += "!";
    EXPECT_EQ(read_file(dir + "/log.txt"), rendered);
    EXPECT_EQ(session.shown(), as_shown(rendered) + STOPPED);
}

TEST(TerminalE2E, KeysGoOutAtOnceWithoutEchoAndTheLineIsRecalled) {
    Session session;
    ASSERT_TRUE(session.started());
    // Nothing kept yet: the recall sends nothing.
    EXPECT_EQ(session.key_to_board("\x1d" "l", 1), "l");
    EXPECT_EQ(session.key_to_board("s", 1), "s");
    EXPECT_EQ(session.key_to_board("\r", 1), "\r");
    EXPECT_EQ(session.key_to_board("\x1d", 2), "ls");
    EXPECT_EQ(session.line.drain(), "");  // no CR after a recall
    // Ctrl-C is a byte for the board, Backspace goes out as BS.
    EXPECT_EQ(session.key_to_board("\x03\x7f", 2), "\x03\x08");
    EXPECT_EQ(session.key_to_board(UP, 2), "\xE0\x48");
    // Esc on its own reaches the board once the pause shows that nothing follows.
    EXPECT_EQ(session.key_to_board("\x1b", 1), "\x1b");
    EXPECT_EQ(session.console->settle(), "");
    ASSERT_TRUE(session.stop_with(F10));
    EXPECT_EQ(session.shown(), STOPPED);
}

TEST(TerminalE2E, ShortLineKeepsThePreviousRecallAndLongLinesKeep64) {
    Session session;
    ASSERT_TRUE(session.started());
    EXPECT_EQ(session.key_to_board("l", 1), "l");
    EXPECT_EQ(session.key_to_board("s", 1), "s");
    EXPECT_EQ(session.key_to_board("\r", 1), "\r");
    EXPECT_EQ(session.key_to_board("a", 1), "a");
    EXPECT_EQ(session.key_to_board("\r", 1), "\r");
    EXPECT_EQ(session.key_to_board("\x1d", 2), "ls");

    std::string seventy;
    for (int i = 0; i < 70; ++i) seventy += static_cast<char>('A' + i % 26);
    EXPECT_EQ(session.key_to_board("\r", 1), "\r");
    EXPECT_EQ(session.key_to_board(seventy + "\r", 71), seventy + "\r");
    EXPECT_EQ(session.key_to_board("\x1d", 64), seventy.substr(0, 64));
    EXPECT_EQ(session.line.drain(), "");
    ASSERT_TRUE(session.stop_with(F10));
}

TEST(TerminalE2E, F4WithoutAFailedWriteDoesNothing) {
    Session session;
    ASSERT_TRUE(session.started());
    session.console->type(F4);
    EXPECT_EQ(session.key_to_board("x", 1), "x");
    ASSERT_TRUE(session.stop_with(F10));
    EXPECT_EQ(session.shown(), STOPPED);
    EXPECT_EQ(session.console->status, 0);
}

TEST(TerminalE2E, EveryStopKeyEndsWithStatusZero) {
    for (const std::string& keys : {F10, std::string("\x1b" "0"), std::string("\x18"), std::string("\x1bo"),
                                   std::string("\x1bO")}) {
        SCOPED_TRACE(keys);
        Session session;
        ASSERT_TRUE(session.started());
        ASSERT_TRUE(session.stop_with(keys));
        EXPECT_EQ(session.console->status, 0);
        EXPECT_EQ(session.console->signal, 0);
        EXPECT_EQ(session.shown(), STOPPED);
        EXPECT_EQ(session.line.drain(), "");
    }
}

TEST(TerminalE2E, F1ShowsTheUsageAndRaisesTheLevel) {
    Session session({"-d", "0"});
    ASSERT_TRUE(session.started());
    session.console->type(F1);
    ASSERT_TRUE(session.console->wait_for("set print/debug level (default 2)", session.after_banner));
    EXPECT_NE(session.shown().find(as_shown("\rUsage:    \n")), std::string::npos);
    ASSERT_TRUE(session.stop_with("\x1b" "0"));
    EXPECT_EQ(session.console->status, 0);
}

TEST(TerminalE2E, WithoutAPortKeysFailAndF4EndsInAFailedOpen) {
    Console console({"-m", "-a", "0"});
    ASSERT_TRUE(console.wait_for(KEY_LINE + "\r\n"));
    const std::size_t from = console.text.size();
    console.type("x");
    ASSERT_TRUE(console.wait_for("Error. Press [F4] for Reopen.", from));
    console.type(F4);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 2);
    EXPECT_EQ(without_titles(console.text.substr(from)),
              as_shown(" Error. Press [F4] for Reopen.\nWait...\nCan't open . Error: 2\n"
                       "  No port was named: give a COM name or a device path first.\n"));
    EXPECT_NE(console.text.find("  Wait...\a", from), std::string::npos);  // the title while reopening
}

TEST(TerminalE2E, WithoutAPortOrAKeyboardTheSessionEnds) {
    // Standard input at its end and no port: nothing could ever happen, so a script must not hang.
    FILE* run = popen("timeout 20 " KESTO_BINARY " -m -a 0 </dev/null; echo status=$?", "r");
    ASSERT_NE(run, nullptr);
    std::string text;
    char chunk[512];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, run)) > 0;) text.append(chunk, n);
    pclose(run);
    EXPECT_NE(text.find("\n\nTerminal stopped\n\nstatus=0\n"), std::string::npos) << text;
}

TEST(TerminalE2E, VanishedPortIsReopenedWithF4) {
    const std::string dir = make_temp_dir();
    const std::string link = dir + "/ttyBOARD";
    auto first = std::make_unique<SerialLine>();
    ASSERT_EQ(symlink(first->path.c_str(), link.c_str()), 0);
    Console console({link, "-m", "-a", "0"});
    ASSERT_TRUE(console.wait_for(KEY_LINE));
    console.type("a");
    EXPECT_EQ(first->receive(1), "a");

    first->vanish();
    console.type("b");
    const std::string failed = link + " Error. Press [F4] for Reopen.";
    ASSERT_TRUE(console.wait_for(failed)) << console.text;

    SerialLine second;
    const std::string next = dir + "/next";
    ASSERT_EQ(symlink(second.path.c_str(), next.c_str()), 0);
    ASSERT_EQ(rename(next.c_str(), link.c_str()), 0);
    const std::size_t before = console.text.size();
    console.type(F4);
    ASSERT_TRUE(console.wait_for(STARTED, before));
    const std::string reopen = without_titles(console.text.substr(before));
    EXPECT_EQ(reopen.substr(0, 9), as_shown("Wait...\n"));
    EXPECT_EQ(reopen.find("[F10]"), std::string::npos);  // no key line after a reopen

    console.type("c");
    EXPECT_EQ(second.receive(1), "c");
    second.send("hello\r");
    EXPECT_TRUE(console.wait_for("hello\r\r\n", before));
    console.type(F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
}

TEST(TerminalE2E, LogIsAppendedAcrossRunsAndCreatedWithoutExecuteBits) {
    const std::string dir = make_temp_dir();
    for (const char* word : {"first", "second"}) {
        Session session({"-l", "board.log"}, dir);
        ASSERT_TRUE(session.started());
        session.line.send(std::string(word) + "\r");
        ASSERT_TRUE(session.console->wait_for(word, session.after_banner));
        ASSERT_TRUE(session.stop_with(F10));
    }
    EXPECT_EQ(read_file(dir + "/board.log"), "first\r\nsecond\r\n");
    struct stat info {};
    ASSERT_EQ(stat((dir + "/board.log").c_str(), &info), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST(TerminalE2E, LogInAMissingFolderIsSkippedSilently) {
    const std::string dir = make_temp_dir();
    Session session({"-l", "missing/board.log"}, dir);
    ASSERT_TRUE(session.started());
    session.line.send("data\r");
    ASSERT_TRUE(session.console->wait_for("data", session.after_banner));
    ASSERT_TRUE(session.stop_with(F10));
    EXPECT_EQ(session.console->status, 0);
    EXPECT_EQ(session.shown(), as_shown("data\r\n") + STOPPED);
    EXPECT_EQ(read_file(dir + "/missing/board.log"), "<missing>");
}

TEST(TerminalE2E, TerminationSignalsRestoreTheConsole) {
    for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal_number);
        Session session;
        const unsigned before = session.console->initial_local_flags;
        ASSERT_TRUE(before & ICANON);
        ASSERT_TRUE(session.started());
        const unsigned raw = session.console->local_flags();
        EXPECT_FALSE(raw & (ICANON | ECHO | ISIG));
        session.console->kill_with(signal_number);
        ASSERT_TRUE(session.console->wait_exit());
        EXPECT_EQ(session.console->signal, signal_number);
        EXPECT_EQ(session.console->local_flags(), before);
    }
}

}  // namespace
