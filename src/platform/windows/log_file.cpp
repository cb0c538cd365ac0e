#include "platform/log_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>

int log_file_open(const char* name) {
    // No sharing restriction, so that another program can read the log meanwhile; binary, so
    // that the bytes land as they were shown.
    int fd = -1;
    if (_sopen_s(&fd, name, _O_RDWR | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                 _S_IREAD | _S_IWRITE) != 0)
        return -1;
    if (fd > 2) return fd;
    // With a standard descriptor closed the log could land on 0, which means "not open yet";
    // keep it clear of the three.
    int held[3];
    int held_count = 0;
    held[held_count++] = fd;
    int moved = _dup(fd);
    while (moved >= 0 && moved <= 2 && held_count < 3) {
        held[held_count++] = moved;
        moved = _dup(fd);
    }
    for (int i = 0; i < held_count; ++i) _close(held[i]);
    return moved;
}

int log_file_write(int fd, const char* bytes, std::size_t n) {
    while (n > 0) {
        const unsigned chunk = n > 0x10000 ? 0x10000u : static_cast<unsigned>(n);
        const int written = _write(fd, bytes, chunk);
        if (written < 0) return errno != 0 ? errno : EIO;
        if (written == 0) return ENOSPC;
        bytes += written;
        n -= static_cast<std::size_t>(written);
    }
    return 0;
}

void log_file_close(int fd) { _close(fd); }
