#include "platform/posix/write_all.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace {

long long now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

}  // namespace

int write_all(int fd, const char* bytes, std::size_t n, int stall_ms) {
    long long last_progress = now_ms();
    while (n > 0) {
        const ssize_t written = write(fd, bytes, n);
        if (written > 0) {
            bytes += written;
            n -= static_cast<std::size_t>(written);
            last_progress = now_ms();
            continue;
        }
        if (written < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        // The buffer is full (or a signal came): wait until the descriptor takes more.
        int timeout = -1;
        if (stall_ms >= 0) {
            const long long waited = now_ms() - last_progress;
            if (waited >= stall_ms) return ETIMEDOUT;
            timeout = static_cast<int>(stall_ms - waited);
        }
        pollfd wait{fd, POLLOUT, 0};
        const int ready = poll(&wait, 1, timeout);
        if (ready < 0 && errno != EINTR) return errno;
        if (ready > 0 && !(wait.revents & POLLOUT)) return EIO;
    }
    return 0;
}
