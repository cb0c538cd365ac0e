#include "platform/serial_device.h"
#include "platform/serial_device_seam.h"

// The kernel's termios2 carries any baud rate (BOTHER); the C library's <termios.h> cannot be
// included beside it, so every line setting goes through the kernel's own structure.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "platform/posix/posix_console.h"
#include "platform/posix/write_all.h"

namespace {

constexpr const char* DEFAULT_COM_PATHS[COM_PORT_LAST + 1] = {
    nullptr,
    "/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyS2",   "/dev/ttyS3",
    "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3",
    "/dev/ttyUSB4", "/dev/ttyUSB5", "/dev/ttyUSB6", "/dev/ttyUSB7",
    "/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyACM2", "/dev/ttyACM3", "/dev/ttyACM4",
    "/dev/ttyACM5", "/dev/ttyACM6", "/dev/ttyACM7", "/dev/ttyACM8",
};

// A descriptor below 3 could be taken for standard input, output or error, and 0 would read as
// "no port" in the settings.
constexpr int LOWEST_DESCRIPTOR = 3;

// Output that makes no progress for this long is taken as a failed write rather than letting a
// device that stopped reading freeze the terminal; F4 then reopens the port.
constexpr int WRITE_STALL_MS = 2000;

// A rate the driver rounds by more than a UART can tolerate counts as refused.
constexpr long RATE_TOLERANCE_PERCENT = 3;

struct StandardRate {
    long rate;
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

tcflag_t rate_code(long rate) {
    for (const StandardRate& standard : STANDARD_RATES)
        if (standard.rate == rate) return standard.code;
    return BOTHER;
}

// What a read waits when there is nothing to wait on: a gone device answers every poll at once.
void pause_one_millisecond() {
    timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
}

void make_raw(termios2& line) {
    line.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                           IUCLC | IXON | IXOFF | IXANY | IMAXBEL | INPCK);
    line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads are paced by poll, so the driver itself never waits.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
}

long apply_termios2(SerialHandle handle, const void* line) {
    return ioctl(serial_descriptor(handle), TCSETS2, line) == 0 ? 0 : errno;
}

}  // namespace

LineSettingsCall serial_line_settings_call = apply_termios2;

const char* serial_device_com_path(int n) {
    if (n < COM_PORT_FIRST || n > COM_PORT_LAST) return nullptr;
    if (const char* test_path = com_test_path(n)) return test_path;
    return DEFAULT_COM_PATHS[n];
}

const char* serial_device_path(const char* port_name) {
    if (port_name[0] == '/') return port_name;
    return serial_device_com_path(com_port_number(port_name));
}

SerialHandle serial_device_open(const char* port_name, long& error) {
    const char* path = serial_device_path(port_name);
    if (!path) {
        error = ENOENT;
        return -1;
    }
    // Without O_NONBLOCK the open would wait for carrier on a port whose line is not yet local.
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (fd < LOWEST_DESCRIPTOR) {
        const int high = fcntl(fd, F_DUPFD_CLOEXEC, LOWEST_DESCRIPTOR);
        const int saved_errno = errno;
        close(fd);
        if (high < 0) {
            error = saved_errno;
            return -1;
        }
        fd = high;
    }
    // Another program using the port holds this lock (or has put the terminal in exclusive mode,
    // which makes the open above fail with EBUSY).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        error = EBUSY;
        return -1;
    }
    // Fails on a device that is no terminal; applying the line settings reports that.
    ioctl(fd, TIOCEXCL);
    return fd;
}

long serial_device_configure(SerialHandle handle, long baud) {
    const int fd = serial_descriptor(handle);
    if (fd < 0) return EBADF;
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0) return errno;
    if (baud <= 0 || baud > static_cast<long>(UINT_MAX)) return EINVAL;
    make_raw(line);
    // The input speed field left 0 means "the same as the output speed".
    line.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    line.c_cflag |= rate_code(baud);
    line.c_ispeed = static_cast<speed_t>(baud);
    line.c_ospeed = static_cast<speed_t>(baud);
    if (const long error = serial_line_settings_call(handle, &line)) return error;
    // A driver that cannot make the rate stores the one it falls back to.
    termios2 applied{};
    if (ioctl(fd, TCGETS2, &applied) != 0) return errno;
    const long got = static_cast<long>(applied.c_ospeed);
    const long off = got > baud ? got - baud : baud - got;
    if (off * 100 > baud * RATE_TOLERANCE_PERCENT) return EINVAL;
    // After the rate: a driver raises DTR and RTS again when it leaves rate 0. Pseudo-terminals
    // have no modem lines and refuse this, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
    return 0;
}

std::size_t serial_device_read(SerialHandle handle, void* buffer, std::size_t n) {
    const int fd = serial_descriptor(handle);
    if (n == 0) return 0;
    if (fd < 0) {
        pause_one_millisecond();
        return 0;
    }
    pollfd wait{fd, POLLIN, 0};
    const int ready = poll(&wait, 1, 1);
    if (ready <= 0) return 0;  // nothing within the millisecond, or a signal
    if (wait.revents & POLLIN) {
        const ssize_t got = read(fd, buffer, n);
        if (got > 0) return static_cast<std::size_t>(got);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    }
    // Hung up: reading gives end-of-file or EIO and poll answers at once from now on.
    pause_one_millisecond();
    return 0;
}

long serial_device_write(SerialHandle handle, const void* bytes, std::size_t n) {
    const int fd = serial_descriptor(handle);
    if (fd < 0) return EBADF;
    return write_all(fd, static_cast<const char*>(bytes), n, WRITE_STALL_MS);
}

bool serial_device_lost(SerialHandle handle) {
    const int fd = serial_descriptor(handle);
    if (fd < 0) return false;
    pollfd state{fd, POLLIN | POLLOUT, 0};
    if (poll(&state, 1, 0) == 1 && (state.revents & (POLLHUP | POLLERR | POLLNVAL))) return true;
    // A driver that has let go of its device answers the settings query with one of these.
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) == 0) return false;
    return errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF;
}

void serial_device_close(SerialHandle handle) {
    const int fd = serial_descriptor(handle);
    if (fd < 0) return;
    // Exclusive mode can outlive this descriptor (a pseudo-terminal stays while its other end is
    // open), and would keep the next open of the same port out.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

int serial_descriptor(SerialHandle handle) {
    if (handle < LOWEST_DESCRIPTOR || handle > INT_MAX) return -1;
    return static_cast<int>(handle);
}
