// Heavy and hostile conditions through the built program: a board that floods the line while the
// operator types, signals from outside, and a read-out that cannot be written.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "e2e/pty_harness.h"
#include "support/capture.h"

namespace {

// How the terminal shows received bytes, written down again from what an operator expects to see.
std::string reference_rendering(const std::string& received) {
    static const std::string CYRILLIC = "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
    std::string shown;
    for (const char c : received) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r') shown += "\r\n";
        else if (byte == '\b' || byte == '\t' || (byte >= 0x20 && byte < 0x80)) shown += c;
        else if (byte >= 0xC0) shown += CYRILLIC.substr((byte - 0xC0) * 2u, 2);
        else if (byte == 0xA8 || byte == 0xB8) shown += byte == 0xA8 ? "Ё" : "ё";
        else if (byte >= 0x80) shown += '.';
    }
    return shown;
}

// 64 MiB of random bytes (fewer in heavier builds) while 200 keys are typed among them: the
// console and the log show the reference rendering, each ENQ is answered, the keys arrive in order.
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
    for (const long long deadline = monotonic_ms() + (under_valgrind() ? 600000 : 120000); at < total || shown < expected.size();) {
        ASSERT_LT(monotonic_ms(), deadline) << "sent " << at << ", shown " << shown;
        pollfd fds[2] = {{board, static_cast<short>(POLLIN | (at < total ? POLLOUT : 0)), 0}, {console, POLLIN, 0}};
        ssize_t n = 0;
        if (poll(fds, 2, 1000) <= 0) continue;
        // No more than the bytes between two keys at once, so the keys fall among them.
        if ((fds[0].revents & POLLOUT) && (n = write(board, sent.data() + at, std::min(total - at, key_every))) > 0) at += n;
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
    EXPECT_EQ(session.console->text.substr(before_stop), SHOWN_STOPPED);
    EXPECT_EQ(session.console->status, 0);
    const std::string logged = session.log();
    EXPECT_TRUE(logged == rendered) << "the log differs from byte "
                                    << std::mismatch(logged.begin(), logged.end(), rendered.begin(), rendered.end()).first - logged.begin();
}

// SIGTERM, SIGHUP and SIGINT, each at another place a run waits: in the terminal, in the key wait
// at exit, in a programming pass. The console gets its mode back, the log holds all that came,
// and the run ends by the signal.
TEST(Signals, EndTheRunWithTheConsoleRestoredAndTheLogComplete) {
    const struct { int signal_number; std::vector<std::string> options; bool unplug; std::string key, until; bool raw; } cases[] = {
        {SIGTERM, {}, false, "", "", true},
        // Unplugged, a key fails, F4 cannot reopen, and "-a 1" waits for a key before the exit.
        {SIGHUP, {"-a", "1"}, true, "k", as_shown("\nPress AnyKey to Exit\n"), true},
        // The slow stand-in library never finishes programming.
        {SIGINT, {"-FET", "TIUSB"}, false, KEY_F9, "<programming>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal_number);
        // The loader finds the stand-in on the library path.
        setenv("LD_LIBRARY_PATH", std::filesystem::path(KESTO_SLOW_LIBRARY).parent_path().c_str(), 1);
        Session session(c.options);
        unsetenv("LD_LIBRARY_PATH");
        Console& console = *session.console;
        ASSERT_TRUE(console.initial_local_flags & ICANON);
        ASSERT_TRUE(session.started() && session.board_says("before\r", "before\r\r\n"));
        if (c.unplug) session.unplug();
        console.type(c.key);
        if (c.unplug) {
            ASSERT_TRUE(console.wait_for("Error. Press [F4] for Reopen."));
            console.type(KEY_F4);
        }
        ASSERT_TRUE(console.wait_for(c.until, session.after_banner));
        // The mode is set a moment after the text before it.
        for (const long long end = monotonic_ms() + 5000; !(console.local_flags() & ICANON) != c.raw && monotonic_ms() < end;) usleep(2000);
        ASSERT_EQ(!(console.local_flags() & ICANON), c.raw);
        console.kill_with(c.signal_number);
        ASSERT_TRUE(console.wait_exit());
        EXPECT_EQ(console.signal, c.signal_number);
        EXPECT_EQ(console.local_flags(), console.initial_local_flags);
        EXPECT_EQ(session.log(), "before\r\n");
    }
}

// Nobody reads the console (Ctrl-S, a stuck window), so the program's write to it blocks: a signal
// still ends the run, and the log holds the batch the console did not take.
TEST(Signals, EndTheRunWhileTheConsoleTakesNoOutput) {
    Session session;
    ASSERT_TRUE(session.started());
    fcntl(session.line->master, F_SETFL, O_NONBLOCK);
    const std::string text(4096, 'x');
    for (long long last = monotonic_ms(); monotonic_ms() - last < 300; usleep(1000))
        if (write(session.line->master, text.data(), text.size()) > 0) last = monotonic_ms();
    session.console->kill_with(SIGTERM);
    // Reading the console would unblock the program: wait for its end without reaping it.
    siginfo_t info{};
    for (const long long end = monotonic_ms() + 3000; info.si_pid == 0 && monotonic_ms() < end; usleep(5000))
        waitid(P_PID, static_cast<id_t>(session.console->pid), &info, WEXITED | WNOHANG | WNOWAIT);
    EXPECT_EQ(info.si_pid, session.console->pid);
    ASSERT_TRUE(session.console->wait_exit());
    EXPECT_EQ(session.console->signal, SIGTERM);
    EXPECT_EQ(session.console->local_flags(), session.console->initial_local_flags);
    const std::string logged = session.log(), shown = session.shown();
    EXPECT_TRUE(!logged.empty() && logged.find_first_not_of('x') == std::string::npos);
    EXPECT_LE(static_cast<std::size_t>(std::count(shown.begin(), shown.end(), 'x')), logged.size());
}

// The file size limit stops the read-out's write after a kilobyte, as a full disk would: the run
// fails with the reason, the earlier read-out of that name stays, and no partial file is left.
TEST(DiskFault, AReadOutThatCannotBeWrittenFailsAndLeavesNoPartialFile) {
    const TempDir dir;
    std::ofstream(dir.path + "/out.hex") << "an earlier read-out\n";
    const Captured run = capture_output([&] {
        signal(SIGXFSZ, SIG_IGN);  // past the limit a write then fails with EFBIG
        const rlimit limit{1024, 1024};
        if (chdir(dir.path.c_str()) == 0 && setrlimit(RLIMIT_FSIZE, &limit) == 0)
            execl(KESTO_BINARY, KESTO_BINARY, "-FET", "SIM", "-a", "0", "+r", "out.hex", nullptr);
    });
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.text, KESTO_BANNER + "\t   FET Port name: SIM\n\t    Out Filename:`out.hex`\nIdentifed: MSP430G2553 ID:9\n"
                                    "Read. Wait... -Cannot write out.hex: File too large\n");
    EXPECT_EQ(read_file(dir.path + "/out.hex"), "an earlier read-out\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

}  // namespace
