#include "platform/terminal_wait.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/console_keys.h"
#include "platform/posix/key_decoder.h"
#include "platform/posix/posix_console.h"
#include "platform/posix/write_all.h"

namespace {

using Clock = std::chrono::steady_clock;

// After ESC, how long to wait for the rest of a key's sequence before taking the ESC alone.
constexpr auto KEY_PAUSE = std::chrono::milliseconds(25);

// Console bytes on their way to becoming keys.
unsigned char raw[64];
int raw_len = 0;
Clock::time_point raw_arrived{};
bool input_ended = false;

bool stdin_readable() {
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0;
}

void read_raw() {
    if (input_ended || raw_len >= static_cast<int>(sizeof raw) || !stdin_readable()) return;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, raw + raw_len, sizeof raw - static_cast<std::size_t>(raw_len));
        if (n > 0) {
            raw_len += static_cast<int>(n);
            raw_arrived = Clock::now();
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        input_ended = true;  // end of input, or EIO and the like: the console is gone
        return;
    }
}

}  // namespace

void console_input_forget() {
    raw_len = 0;
    input_ended = false;
}

int console_pause_left_ms() {
    if (raw_len == 0) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(raw_arrived + KEY_PAUSE - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

int console_read_keys(unsigned char* keys, int capacity) {
    read_raw();
    const bool pause_over = input_ended || Clock::now() - raw_arrived >= KEY_PAUSE;
    int n = 0;
    while (raw_len > 0 && n + KEY_OUTPUT_MAX <= capacity) {
        const DecodedKey key = decode_key(raw, raw_len, pause_over);
        if (key.consumed == 0) break;
        std::memcpy(keys + n, key.bytes, static_cast<std::size_t>(key.length));
        n += key.length;
        raw_len -= key.consumed;
        std::memmove(raw, raw + key.consumed, static_cast<std::size_t>(raw_len));
    }
    if (n > 0) return n;
    return input_ended && raw_len == 0 ? 0 : -1;
}

TerminalEvents terminal_wait(SerialHandle port, bool watch_console, int timeout_ms) {
    TerminalEvents events;
    pollfd fds[3];
    nfds_t n = 0;
    int port_index = -1;
    int console_index = -1;
    int wake_index = -1;
    const int port_fd = serial_descriptor(port);
    if (port_fd >= 0) {
        port_index = static_cast<int>(n);
        fds[n++] = pollfd{port_fd, POLLIN, 0};
    }
    // Bytes held back for the rest of an escape sequence become keys when the pause is over,
    // whether or not more input comes.
    const int pause_left = watch_console ? console_pause_left_ms() : -1;
    if (pause_left >= 0 && (timeout_ms < 0 || pause_left < timeout_ms)) timeout_ms = pause_left;
    if (watch_console && !input_ended) {
        console_index = static_cast<int>(n);
        fds[n++] = pollfd{STDIN_FILENO, POLLIN, 0};
    }
    const int wake = stop_wake_descriptor();
    if (wake >= 0) {
        wake_index = static_cast<int>(n);
        fds[n++] = pollfd{wake, POLLIN, 0};
    }
    // A signal after this look still wakes the poll: its handler writes to the wake pipe.
    if (console_stop_requested()) {
        events.stop_requested = true;
        return events;
    }
    const int ready = poll(fds, n, timeout_ms < 0 ? -1 : timeout_ms);
    if (console_stop_requested()) events.stop_requested = true;
    if (watch_console && (input_ended || (pause_left >= 0 && console_pause_left_ms() == 0))) events.console = true;
    if (ready <= 0) return events;
    if (port_index >= 0) {
        const short got = fds[port_index].revents;
        if (got & (POLLIN | POLLHUP | POLLERR)) events.port = true;
        if (got & (POLLHUP | POLLERR | POLLNVAL)) events.port_gone = true;
    }
    if (console_index >= 0 && (fds[console_index].revents & (POLLIN | POLLHUP | POLLERR))) events.console = true;
    if (wake_index >= 0 && (fds[wake_index].revents & POLLIN)) {
        char drained[16];
        while (read(wake, drained, sizeof drained) > 0) {
        }
    }
    return events;
}

void console_write(const char* bytes, std::size_t n, bool) {
    if (!console_output_begin()) return;
    write_all(STDOUT_FILENO, bytes, n);
    console_output_end();
}
