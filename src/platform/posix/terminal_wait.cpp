#include "platform/terminal_wait.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/console_keys.h"
#include "platform/posix/write_all.h"

TerminalEvents terminal_wait(int port, bool watch_console, int timeout_ms) {
    TerminalEvents events;
    pollfd fds[3];
    nfds_t n = 0;
    int port_index = -1;
    int console_index = -1;
    int wake_index = -1;
    if (port >= 0) {
        port_index = static_cast<int>(n);
        fds[n++] = pollfd{port, POLLIN, 0};
    }
    if (watch_console) {
        console_index = static_cast<int>(n);
        fds[n++] = pollfd{STDIN_FILENO, POLLIN, 0};
    }
    const int wake = console_signal_wake_descriptor();
    if (wake >= 0) {
        wake_index = static_cast<int>(n);
        fds[n++] = pollfd{wake, POLLIN, 0};
    }
    // A signal after this look still wakes the poll: its handler writes to the wake pipe.
    if (console_signal) {
        events.signalled = true;
        return events;
    }
    const int ready = poll(fds, n, timeout_ms < 0 ? -1 : timeout_ms);
    if (console_signal) events.signalled = true;
    if (ready <= 0) return events;
    if (port_index >= 0) {
        const short got = fds[port_index].revents;
        if (got & (POLLIN | POLLHUP | POLLERR)) events.port = true;
        if (got & (POLLHUP | POLLERR | POLLNVAL)) events.port_hung_up = true;
    }
    if (console_index >= 0 && (fds[console_index].revents & (POLLIN | POLLHUP | POLLERR))) {
        events.console = true;
    }
    if (wake_index >= 0 && (fds[wake_index].revents & POLLIN)) {
        char drained[16];
        while (read(wake, drained, sizeof drained) > 0) {
        }
    }
    return events;
}

int console_read(unsigned char* buffer, int capacity) {
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    if (poll(&pfd, 1, 0) <= 0) return -1;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, static_cast<std::size_t>(capacity));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
        return 0;  // EIO and the like: the console is gone
    }
}

void console_write(const char* bytes, std::size_t n) {
    if (!console_output_begin()) return;
    write_all(STDOUT_FILENO, bytes, n);
    console_output_end();
}
