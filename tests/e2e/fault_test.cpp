// Heavy and hostile conditions through the built program.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "e2e/pty_harness.h"
#include "terminal/render.h"

namespace {

// What the program must show, whole and in order, however the bytes arrive.
std::string reference_rendering(const std::string& received) {
    std::string shown;
    char out[RENDER_BUF_SIZE];
    for (std::size_t at = 0; at < received.size(); at += RX_BATCH_MAX) {
        const int count = static_cast<int>(std::min<std::size_t>(received.size() - at, RX_BATCH_MAX));
        const RenderResult r = render_batch(reinterpret_cast<const unsigned char*>(received.data()) + at, count, {}, out);
        shown.append(out, static_cast<std::size_t>(r.length));
    }
    return shown;
}

TEST(Flood, SixtyFourMebibytesWhileTyping) {
    const std::string KEYS = "the quick brown fox jumps over the lazy dog 0123456789\r";
    const std::size_t total = (64u << 20) / slowdown(), key_count = 200, key_every = total / key_count;
    std::string sent(total, '\0');
    std::independent_bits_engine<std::mt19937, 8, unsigned> random_byte;
    std::generate(sent.begin(), sent.end(), [&] { return static_cast<char>(random_byte()); });
    const std::string rendered = reference_rendering(sent), expected = as_shown(rendered);
    Session session;
    ASSERT_TRUE(session.started());
    const int board = session.line->master, console = session.console->master;
    fcntl(board, F_SETFL, O_NONBLOCK), fcntl(console, F_SETFL, O_NONBLOCK);
    std::size_t at = 0, shown = 0;
    std::string typed, at_board;
    char chunk[65536];
    const long long deadline = monotonic_ms() + (under_valgrind() ? 600000 : 120000);
    while (at < total || shown < expected.size()) {
        ASSERT_LT(monotonic_ms(), deadline) << "sent " << at << ", shown " << shown;
        pollfd fds[2] = {{board, static_cast<short>(POLLIN | (at < total ? POLLOUT : 0)), 0}, {console, POLLIN, 0}};
        ssize_t n = 0;
        if (poll(fds, 2, 1000) <= 0) continue;
        // No more than the bytes between two keys at once, so the keys fall among them.
        if ((fds[0].revents & POLLOUT) && (n = write(board, sent.data() + at, std::min(total - at, key_every))) > 0)
            at += n;
        while (at / key_every > typed.size() && typed.size() < key_count) {
            typed += KEYS[typed.size() % KEYS.size()];
            session.console->type(std::string(1, typed.back()));
        }
        if ((fds[0].revents & POLLIN) && (n = read(board, chunk, sizeof chunk)) > 0) at_board.append(chunk, n);
        if ((fds[1].revents & POLLIN) && (n = read(console, chunk, sizeof chunk)) > 0) {
            ASSERT_EQ(expected.compare(shown, n, chunk, n), 0) << "the console differs after byte " << shown;
            shown += n;
        }
    }
    const auto enquiries = static_cast<std::size_t>(std::count(sent.begin(), sent.end(), '\x05'));
    at_board += session.line->receive(enquiries + key_count - std::min(at_board.size(), enquiries + key_count));
    EXPECT_EQ(static_cast<std::size_t>(std::count(at_board.begin(), at_board.end(), '\x06')), enquiries);
    at_board.erase(std::remove(at_board.begin(), at_board.end(), '\x06'), at_board.end());
    EXPECT_EQ(at_board, typed);
    EXPECT_EQ(typed.size(), key_count);
    fcntl(console, F_SETFL, 0);
    const std::size_t before_stop = session.console->text.size();
    session.console->type(KEY_F10);
    ASSERT_TRUE(session.console->wait_exit(under_valgrind() ? 60000 : 10000));
    EXPECT_EQ(without_titles(session.console->text.substr(before_stop)), SHOWN_STOPPED);
    EXPECT_EQ(session.console->status, 0);
    const std::string logged = session.log();
    const auto differs_at = std::mismatch(logged.begin(), logged.end(), rendered.begin(), rendered.end()).first;
    EXPECT_TRUE(logged == rendered) << "the log differs from byte " << differs_at - logged.begin();
}

// At each place a run waits: the terminal, the key wait at exit, a pass, a write to a console
// nobody reads (Ctrl-S), a lost port.
TEST(Signals, EndTheRunWithTheConsoleRestoredAndTheLogComplete) {
    const struct { int signal_number; std::vector<std::string> options; bool unplug; std::string key, until;
                   bool block_console; } cases[] = {
        {SIGQUIT, {}, false, "", "", false},
        // F9 fails to program an image that is none, and "-a 1" waits for a key before the exit.
        {SIGHUP, {"-a", "1", "-FET", "SIM", "+p", "junk.hex"}, false, KEY_F9, as_shown("\nPress AnyKey to Exit\n"),
         false},
        // The slow stand-in never finishes: the ELF's temporary Intel HEX file must not stay.
        {SIGINT, {"-FET", "TIUSB", "+p", "blink.elf"}, false, KEY_F9, "<programming>", false},
        {SIGTERM, {}, false, "", "", true},
        {SIGTERM, {}, true, "", "Port lost, waiting for", false},
    };
    const rlimit no_core{0, 0};  // SIGQUIT would leave a core file
    setrlimit(RLIMIT_CORE, &no_core);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal_number);
        setenv("LD_LIBRARY_PATH", std::filesystem::path(KESTO_SLOW_LIBRARY).parent_path().c_str(), 1);
        const ScratchFolder temporary;
        setenv("TMPDIR", temporary.folder().c_str(), 1);
        Session session(c.options);
        unsetenv("LD_LIBRARY_PATH");
        unsetenv("TMPDIR");
        std::filesystem::copy_file(std::string(KESTO_SOURCE_DIR) + "/examples/blink/blink.elf",
                                   session.dir.path("blink.elf"));
        session.dir.write("junk.hex", "not an image\n");
        Console& console = *session.console;
        ASSERT_TRUE(console.initial_local_flags & ICANON);
        ASSERT_TRUE(session.started() && session.board_says("before\r", "before\r\r\n"));
        if (c.unplug) session.unplug();
        console.type(c.key);
        ASSERT_TRUE(console.wait_for(c.until, session.after_banner)) << console.text;
        // Raw in the terminal, quiet outside it.
        ASSERT_FALSE(console.local_flags() & ICANON);
        fcntl(session.line->master, F_SETFL, O_NONBLOCK);
        const std::string text(4096, 'x');
        std::size_t sent = 0;
        for (long long last = monotonic_ms(); c.block_console && monotonic_ms() - last < 300; usleep(1000)) {
            const ssize_t n = write(session.line->master, text.data(), text.size());
            if (n > 0) sent += static_cast<std::size_t>(n), last = monotonic_ms();
        }
        const auto temporary_files = [&] {
            // Not the session's folder, nor valgrind's files.
            return std::count_if(std::filesystem::directory_iterator(temporary.folder()), {}, [](const auto& entry) {
                return entry.is_regular_file() && entry.path().filename().string().starts_with("kesto-");
            });
        };
        EXPECT_EQ(temporary_files(), c.until == "<programming>" ? 1 : 0);
        kill(console.pid, c.signal_number);
        // Reading the console would unblock the program: wait for its end without reaping it.
        siginfo_t info{};
        for (const long long end = monotonic_ms() + 3000; info.si_pid == 0 && monotonic_ms() < end; usleep(5000))
            waitid(P_PID, static_cast<id_t>(console.pid), &info, WEXITED | WNOHANG | WNOWAIT);
        EXPECT_EQ(info.si_pid, console.pid);
        ASSERT_TRUE(console.wait_exit());
        EXPECT_EQ(console.signal, c.signal_number);
        EXPECT_EQ(temporary_files(), 0);
        EXPECT_EQ(console.local_flags(), console.initial_local_flags);
        // What the program never read is still on the line: all it read is in the log.
        std::string unread;
        fcntl(session.line->slave, F_SETFL, O_NONBLOCK);
        while (read_some(session.line->slave, unread, 0) > 0) continue;
        const std::string logged = session.log();
        EXPECT_EQ(logged.substr(0, 8), "before\r\n");
        EXPECT_EQ(logged.find_first_not_of('x', 8), std::string::npos);
        EXPECT_EQ(logged.size() - 8, sent - unread.size());
        EXPECT_EQ(logged.size() > 8, c.block_console);
    }
}

// The first key waits its two seconds and fails; each of the 199 behind it would wait as long.
// A second F4 after the reopen reopens again: a failed write counts for the rest of the run.
TEST(StalledPort, KeysBehindAFailedWriteAreDroppedAndF4AndF10ActAtOnce) {
    Session session;
    ASSERT_TRUE(session.started());
    // Filled until it takes nothing more: the program's writes fail from now on.
    fcntl(session.line->slave, F_SETFL, O_NONBLOCK);
    const std::string filler(4096, 'f');
    for (int refused = 0; refused < 5;)
        if (write(session.line->slave, filler.data(), filler.size()) > 0) refused = 0;
        else ++refused, usleep(20000);
    // Typed while the program is stopped, so that all of it waits at once.
    std::string keys;
    for (int i = 0; i < 200; ++i) keys += static_cast<char>('a' + i % 26);
    kill(session.console->pid, SIGSTOP);
    session.console->type(keys + KEY_F4 + KEY_F4 + KEY_F10);
    kill(session.console->pid, SIGCONT);
    // Far below the 400 s that the keys would take one after the other.
    ASSERT_TRUE(session.console->wait_exit(under_valgrind() ? 60000 : 10000));
    EXPECT_EQ(session.console->status, 0);
    EXPECT_EQ(session.shown(), as_shown(session.link + " Error. Press [F4] for Reopen.\n199 typed keys dropped, not "
                                        "sent\nWait...\n\n") + SHOWN_STARTED + as_shown("Wait...\n\n") +
                                 SHOWN_STARTED + SHOWN_STOPPED);
}

TEST(Signals, AStoppedRunGivesTheConsoleBackAndTakesItAgainWhenItGoesOn) {
    // valgrind takes the stop signal itself, and the job never shows as stopped.
    if (under_valgrind()) GTEST_SKIP() << "not under valgrind";
    Session session({}, "", true);
    ASSERT_TRUE(session.started());
    Console& console = *session.console;
    const pid_t job = tcgetpgrp(console.master);
    ASSERT_GT(job, 0);
    const auto state = [job] {
        std::string line;
        std::getline(std::ifstream("/proc/" + std::to_string(job) + "/stat"), line);
        const std::size_t after_name = line.rfind(") ");
        return after_name == std::string::npos ? '?' : line[after_name + 2];
    };
    const auto wait_until = [](const std::function<bool()>& done) {
        for (const long long end = monotonic_ms() + 5000; monotonic_ms() < end; usleep(2000))
            if (done()) return true;
        return false;
    };
    kill(-job, SIGTSTP);
    ASSERT_TRUE(wait_until([&] { return state() == 'T'; }));
    EXPECT_EQ(console.local_flags(), console.initial_local_flags);
    kill(-job, SIGCONT);
    ASSERT_TRUE(wait_until([&] { return !(console.local_flags() & (ICANON | ISIG | ECHO)); }));
    EXPECT_EQ(session.key("\x03k", 2), "\x03k");  // Ctrl-C is a byte for the board again
    EXPECT_TRUE(session.board_says("back\r", "back\r\r\n"));
    EXPECT_TRUE(session.stop());
    EXPECT_EQ(console.local_flags(), console.initial_local_flags);
}

TEST(Signals, KeysTypedDuringAPassWaitUnseenForTheTerminal) {
    const ScratchFolder gate;
    setenv("LD_LIBRARY_PATH", std::filesystem::path(KESTO_SLOW_LIBRARY).parent_path().c_str(), 1);
    setenv("SLOW_LIBRARY_RELEASE", gate.path("done").c_str(), 1);
    Session session({"-FET", "TIUSB", "+p", "examples/blink/blink.hex"}, KESTO_SOURCE_DIR);
    unsetenv("LD_LIBRARY_PATH");
    unsetenv("SLOW_LIBRARY_RELEASE");
    ASSERT_TRUE(session.started());
    Console& console = *session.console;
    console.type(KEY_F9);
    ASSERT_TRUE(console.wait_for("<programming>", session.after_banner));
    const std::size_t from = console.text.size();
    console.type("ab\x7f" "c\r\x1b[1;5A");
    console.settle(200);
    EXPECT_EQ(console.text.substr(from), "");
    EXPECT_FALSE(console.local_flags() & (ICANON | ECHO));
    gate.write("done", "");
    ASSERT_TRUE(console.wait_for(SHOWN_STARTED, from));
    EXPECT_EQ(without_titles(console.text.substr(from)).rfind(as_shown(" -OK\n"), 0), 0u);
    EXPECT_EQ(session.line->receive(7), "ab\x08" "c\r\xE0\x8D");
    EXPECT_TRUE(session.stop());
}

}  // namespace
