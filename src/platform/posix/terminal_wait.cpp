#include "platform/terminal_wait.h"

#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/console_keys.h"
#include "platform/posix/write_all.h"

TerminalEvents terminal_wait(int port, bool watch_console, int timeout_ms) {
    TerminalEvents events;
    pollfd fds[2];
    nfds_t n = 0;
    int port_index = -1;
    int console_index = -1;
    if (port >= 0) {
        port_index = static_cast<int>(n);
        fds[n++] = pollfd{port, POLLIN, 0};
    }
    if (watch_console) {
        console_index = static_cast<int>(n);
        fds[n++] = pollfd{STDIN_FILENO, POLLIN, 0};
    }

    // The signals stay blocked from the look at the flag until ppoll has them again, so one
    // that arrives in between wakes the wait instead of being missed.
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    if (console_signal) {
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        events.signalled = true;
        return events;
    }
    timespec limit{};
    if (timeout_ms >= 0) {
        limit.tv_sec = timeout_ms / 1000;
        limit.tv_nsec = static_cast<long>(timeout_ms % 1000) * 1000000L;
    }
    const int ready = ppoll(fds, n, timeout_ms >= 0 ? &limit : nullptr, &previous);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (console_signal) events.signalled = true;
    if (ready <= 0) return events;
    if (port_index >= 0) {
        if (fds[port_index].revents & (POLLIN | POLLHUP | POLLERR)) events.port = true;
    }
    if (console_index >= 0 && (fds[console_index].revents & (POLLIN | POLLHUP | POLLERR))) {
        events.console = true;
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

void console_write(const char* bytes, std::size_t n) { write_all(STDOUT_FILENO, bytes, n); }
