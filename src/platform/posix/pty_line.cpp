#include "platform/posix/pty_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool pty_line_make_raw(int fd, std::uint32_t baud) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0) return false;
    line.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                           IXOFF | IXANY | IMAXBEL);
    line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD);
    line.c_cflag |= CS8 | CLOCAL | CREAD | BOTHER;
    line.c_ispeed = line.c_ospeed = baud;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &line) == 0;
}

std::uint32_t pty_line_rate(int fd) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0) return 0;
    // The kernel fills in the speed for a rate set by its code as well as for one set by number.
    return line.c_ospeed;
}
