// A board that sends without pause while the operator types: every byte it sends is shown and
// logged exactly as a reference rendering says, every ENQ is answered, and every key reaches
// the board in order.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/fault_harness.h"

namespace {

constexpr std::size_t MiB = 1u << 20;
constexpr char ENQ = 0x05;
constexpr char ACK = 0x06;
// How many keys the operator types over the whole flood.
constexpr std::size_t KEY_COUNT = 200;
// Printable keys and Enter: none of them is a stop key, a recall or the start of a sequence.
const std::string KEY_TEXT = "the quick brown fox jumps over the lazy dog 0123456789\r";

// The board's bytes: a fixed pseudo-random stream, so the log can be checked against the same
// bytes made again.
class BoardBytes {
public:
    explicit BoardBytes(std::size_t total) : left_(total) {}
    bool done() const { return left_ == 0; }
    std::string next(std::size_t n) {
        n = std::min(n, left_);
        left_ -= n;
        std::string bytes(n, '\0');
        for (char& byte : bytes) {
            // xorshift64*: plenty random for a byte stream, and the same on every run.
            state_ ^= state_ >> 12;
            state_ ^= state_ << 25;
            state_ ^= state_ >> 27;
            byte = static_cast<char>((state_ * 0x2545F4914F6CDD1DULL) >> 56);
        }
        return bytes;
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
    std::size_t left_;
};

// How the terminal shows received bytes, written down once more from what an operator expects
// to see, independently of the program's own rendering.
std::string reference_rendering(const std::string& received, bool crlf, bool oem) {
    // Windows-1251 letters А..я, in UTF-8.
    static const std::string CYRILLIC = "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
    std::string shown;
    for (const char c : received) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r') shown += crlf ? "\r" : "\r\n";
        else if (byte == '\n') shown += crlf ? "\n" : "";
        else if (byte == '\b' || byte == '\t') shown += c;
        else if (byte < 0x20) continue;
        else if (byte < 0x80 || oem) shown += c;
        else if (byte >= 0xC0) shown += CYRILLIC.substr((byte - 0xC0) * 2u, 2);
        else if (byte == 0xA8) shown += "Ё";
        else if (byte == 0xB8) shown += "ё";
        else shown += '.';
    }
    return shown;
}

void set_nonblocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

// Where the console first differs from what it should show, with some of each around it.
std::string first_difference(const std::string& expected, std::size_t at, const std::string& got,
                             std::size_t checked_before) {
    std::size_t i = 0;
    while (i < got.size() && at + i < expected.size() && expected[at + i] == got[i]) ++i;
    const std::size_t from = i < 16 ? 0 : i - 16;
    return "console byte " + std::to_string(checked_before + at + i) + ": expected \"" + expected.substr(at + from, 48) +
           "\", got \"" + got.substr(from, 48) + "\"";
}

struct FloodCase {
    const char* name;
    std::vector<std::string> options;
    std::size_t bytes;
    bool crlf;
    bool oem;
};

// Heavier builds flood less: the bytes all take the same path, only fewer of them.
std::size_t scaled(std::size_t bytes) {
    if (under_valgrind()) return bytes / 64;
    if (under_sanitizer()) return bytes / 8;
    return bytes;
}

void flood(const FloodCase& c) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> options = {"-m"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    BoardSession session(options);
    ASSERT_TRUE(session.started());
    Console& console = *session.console;
    const int board = session.line->master;
    set_nonblocking(board, true);
    set_nonblocking(console.master, true);

    const std::size_t total = scaled(c.bytes);
    const std::size_t key_every = std::max<std::size_t>(total / KEY_COUNT, 1);
    BoardBytes bytes(total);
    std::string to_send;
    std::string expected;         // console bytes made from what was sent, not yet seen
    std::size_t expected_at = 0;
    std::size_t shown_before = 0;  // console bytes checked and dropped from expected
    std::size_t sent = 0, enquiries = 0;
    std::string typed, at_board;
    const long long deadline = monotonic_ms() + (under_valgrind() ? 600000 : 120000);
    char chunk[65536];

    while (!bytes.done() || !to_send.empty() || expected_at < expected.size()) {
        ASSERT_LT(monotonic_ms(), deadline) << "sent " << sent << " of " << total << ", console at " << expected_at;
        if (to_send.empty() && !bytes.done()) {
            to_send = bytes.next(sizeof chunk);
            enquiries += static_cast<std::size_t>(std::count(to_send.begin(), to_send.end(), ENQ));
            expected.erase(0, expected_at);
            shown_before += expected_at;
            expected_at = 0;
            expected += as_shown(reference_rendering(to_send, c.crlf, c.oem));
        }
        pollfd fds[2] = {{board, static_cast<short>(POLLIN | (to_send.empty() ? 0 : POLLOUT)), 0},
                         {console.master, POLLIN, 0}};
        if (poll(fds, 2, 1000) <= 0) continue;
        if (fds[0].revents & POLLOUT) {
            // No more than the bytes between two keys at once, so the keys fall among them.
            const ssize_t n = write(board, to_send.data(), std::min(to_send.size(), key_every));
            if (n > 0) {
                to_send.erase(0, static_cast<std::size_t>(n));
                sent += static_cast<std::size_t>(n);
                while (sent / key_every > typed.size() && typed.size() < KEY_COUNT) {
                    typed += KEY_TEXT[typed.size() % KEY_TEXT.size()];
                    console.type(typed.substr(typed.size() - 1));
                }
            }
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(board, chunk, sizeof chunk);
            if (n > 0) at_board.append(chunk, static_cast<std::size_t>(n));
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(console.master, chunk, sizeof chunk);
            ASSERT_NE(n, 0) << "the console closed";
            if (n < 0) continue;
            const std::string got(chunk, static_cast<std::size_t>(n));
            ASSERT_TRUE(expected.compare(expected_at, got.size(), got) == 0)
                << first_difference(expected, expected_at, got, shown_before);
            expected_at += got.size();
        }
    }

    // The last keys and answers may still be on their way.
    const std::size_t answers_and_keys = enquiries + typed.size();
    if (at_board.size() < answers_and_keys) at_board += session.line->receive(answers_and_keys - at_board.size());
    EXPECT_EQ(static_cast<std::size_t>(std::count(at_board.begin(), at_board.end(), ACK)), enquiries);
    at_board.erase(std::remove(at_board.begin(), at_board.end(), ACK), at_board.end());
    EXPECT_EQ(at_board, typed);
    EXPECT_EQ(typed.size(), std::min(KEY_COUNT, total));

    set_nonblocking(console.master, false);
    const std::size_t before_stop = console.text.size();
    console.type(KEY_F10);
    ASSERT_TRUE(console.wait_exit(under_valgrind() ? 60000 : 10000));
    EXPECT_EQ(console.status, 0);
    EXPECT_EQ(console.text.substr(before_stop), SHOWN_STOPPED);

    // The log holds the rendering itself, without the console's CR before each LF.
    std::ifstream log(session.path("board.log"), std::ios::binary);
    BoardBytes again(total);
    std::size_t logged = 0;
    while (!again.done()) {
        const std::string want = reference_rendering(again.next(MiB), c.crlf, c.oem);
        std::string got(want.size(), '\0');
        log.read(got.data(), static_cast<std::streamsize>(got.size()));
        got.resize(static_cast<std::size_t>(log.gcount()));
        ASSERT_EQ(got, want) << "log differs within bytes " << logged << ".." << logged + want.size();
        logged += got.size();
    }
    EXPECT_EQ(log.peek(), std::char_traits<char>::eof()) << "the log holds more than was received";
}

TEST(Flood, SixtyFourMebibytesWhileTyping) {
    flood({"plain", {}, 64 * MiB, false, false});
}

TEST(Flood, LineEndsAndHighBytesPassUnchanged) {
    flood({"-crlf -oem", {"-crlf", "-oem"}, 16 * MiB, true, true});
}


TEST(Flood, APasteReachesTheBoardWholeAndItsLastLineIsRecalled) {
    BoardSession session;
    ASSERT_TRUE(session.started());
    std::string paste;
    std::string last_line;
    for (int line = 0; paste.size() < (under_valgrind() ? 2000u : 20000u); ++line) {
        last_line = "line " + std::to_string(line) + ": " + std::string(static_cast<std::size_t>(line % 90), '=');
        paste += last_line + "\r";
    }
    // Typed while the board reads: the program only takes more keys while the board takes the
    // ones before.
    Console& console = *session.console;
    const int board = session.line->master;
    set_nonblocking(console.master, true);
    std::size_t typed = 0;
    std::string at_board;
    const long long deadline = monotonic_ms() + (under_valgrind() ? 60000 : 10000);
    while (at_board.size() < paste.size() && monotonic_ms() < deadline) {
        pollfd fds[2] = {{console.master, static_cast<short>(typed < paste.size() ? POLLOUT : 0), 0}, {board, POLLIN, 0}};
        if (poll(fds, 2, 100) <= 0) continue;
        if (fds[0].revents & POLLOUT) {
            const ssize_t n = write(console.master, paste.data() + typed, paste.size() - typed);
            if (n > 0) typed += static_cast<std::size_t>(n);
        }
        char chunk[4096];
        const ssize_t n = (fds[1].revents & POLLIN) ? read(board, chunk, sizeof chunk) : 0;
        if (n > 0) at_board.append(chunk, static_cast<std::size_t>(n));
    }
    set_nonblocking(console.master, false);
    EXPECT_EQ(at_board, paste);
    session.console->type("\x1d");
    EXPECT_EQ(session.line->receive(std::min<std::size_t>(last_line.size(), 64)), last_line.substr(0, 64));
    session.console->type(KEY_F10);
    ASSERT_TRUE(session.console->wait_exit());
    EXPECT_EQ(session.console->status, 0);
    EXPECT_EQ(without_titles(session.console->text.substr(session.after_banner)), SHOWN_STOPPED);
}


TEST(Flood, ThePortVanishesInTheMiddleAndComesBack) {
    BoardSession session;
    ASSERT_TRUE(session.started());
    Console& console = *session.console;
    set_nonblocking(session.line->master, true);
    const std::size_t total = scaled(2 * MiB);
    std::string sent = BoardBytes(total).next(total);
    // No enquiries: an answer that meets the unplugged line would put its failure on the console.
    std::replace(sent.begin(), sent.end(), ENQ, 'e');
    for (std::size_t at = 0; at < sent.size();) {
        const ssize_t n = write(session.line->master, sent.data() + at, std::min<std::size_t>(sent.size() - at, 4096));
        if (n > 0) at += static_cast<std::size_t>(n);
        else console.settle(1);
    }
    // Unplugged with bytes still on the way: some of them never arrive.
    session.unplug();
    // The last batch goes to the log a moment before the console.
    std::string shown, logged;
    for (const long long deadline = monotonic_ms() + 10000; monotonic_ms() < deadline;) {
        console.settle(50);
        shown = console.text.substr(session.after_banner);
        logged = session.log();
        if (as_shown(logged) == shown) break;
    }
    EXPECT_TRUE(as_shown(logged) == shown) << "log " << logged.size() << " bytes; " << first_difference(as_shown(logged), 0, shown, 0);
    const std::string rendered = reference_rendering(sent, false, false);
    ASSERT_GT(logged.size(), 0u);
    ASSERT_LE(logged.size(), rendered.size());
    EXPECT_TRUE(rendered.compare(0, logged.size(), logged) == 0) << "the log is not what the board sent";
    EXPECT_LT(cpu_share_over(console.pid, 500), 0.30);

    console.type("k");
    ASSERT_TRUE(console.wait_for("Error. Press [F4] for Reopen.", session.after_banner + shown.size()));
    session.replug();
    const std::size_t before_reopen = console.text.size();
    console.type(KEY_F4);
    ASSERT_TRUE(console.wait_for(SHOWN_STARTED, before_reopen));
    ASSERT_TRUE(session.board_says("after\r", "after\r\r\n"));
    console.type(KEY_F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
    EXPECT_EQ(session.log(), logged + "after\r\n");
}

}  // namespace
