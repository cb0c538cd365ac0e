#include "platform/posix/pty_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

struct StandardRate {
    std::uint32_t rate;
    tcflag_t code;
};

constexpr StandardRate STANDARD_RATES[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

}  // namespace

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
    const tcflag_t code = line.c_cflag & CBAUD;
    if (code == BOTHER) return line.c_ospeed;
    for (const StandardRate& standard : STANDARD_RATES)
        if (standard.code == code) return standard.rate;
    return 0;
}
