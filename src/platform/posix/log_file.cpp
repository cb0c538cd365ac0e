#include "platform/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/write_all.h"

int log_file_open(const char* name) {
    const int fd = open(name, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0 || fd > 2) return fd;
    // With a standard descriptor closed the log could land on 0, which means "not open yet";
    // keep it clear of the three.
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

int log_file_write(int fd, const char* bytes, std::size_t n) { return write_all(fd, bytes, n); }

void log_file_close(int fd) { close(fd); }
