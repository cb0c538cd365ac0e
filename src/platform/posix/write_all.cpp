#include "platform/posix/write_all.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

bool write_all(int fd, const char* bytes, std::size_t n) {
    while (n > 0) {
        const ssize_t written = write(fd, bytes, n);
        if (written > 0) {
            bytes += written;
            n -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A descriptor someone left non-blocking: wait until it takes more.
            pollfd pfd{fd, POLLOUT, 0};
            poll(&pfd, 1, -1);
            continue;
        }
        return false;
    }
    return true;
}
