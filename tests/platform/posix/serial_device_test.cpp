#include "platform/serial_device.h"
#include "platform/serial_device_seam.h"

#include <asm/termbits.h>  // the kernel's line record: <termios.h> cannot come beside it
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

termios2 asked{};                   // what the layer last asked the driver for
unsigned driver_permille = 1000;    // the rate the stand-in driver makes, per mille of the one asked

long rounding_driver(SerialHandle handle, const void* line) {
    asked = *static_cast<const termios2*>(line);
    termios2 made = asked;
    made.c_ospeed = made.c_ispeed = static_cast<speed_t>(asked.c_ospeed * driver_permille / 1000);
    return ioctl(static_cast<int>(handle), TCSETS2, &made) == 0 ? 0 : errno;
}

// A pseudo-terminal takes any line, so only the request shows it. More than 3% off is as good as
// refused: the board's UART would misread it.
TEST(SerialDevice, AsksFor8N1LocalAboveTheStandardDescriptorsAndTakesARateWithinThreePercent) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    // Descriptor 0 would read as no port at all.
    const int standard_input = dup(0);
    close(0);
    long error = 0;
    const SerialHandle port = serial_device_open(ptsname(master), error);
    dup2(standard_input, 0), close(standard_input);
    ASSERT_GE(port, 3) << error;
    const LineSettingsCall system_call = serial_line_settings_call;
    serial_line_settings_call = rounding_driver;
    for (const auto& [permille, baud, result] : {std::tuple{1000u, 10007L, 0L}, {1030u, 10000L, 0L},
                                                {970u, 10000L, 0L}, {1031u, 10000L, long{EINVAL}},
                                                {969u, 10000L, long{EINVAL}}}) {
        driver_permille = permille;
        EXPECT_EQ(serial_device_configure(port, baud), result) << permille << " of " << baud;
        EXPECT_EQ(asked.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS | CLOCAL | CREAD | CBAUD),
                  static_cast<tcflag_t>(CS8 | CLOCAL | CREAD | BOTHER));
        EXPECT_EQ(asked.c_ospeed, static_cast<speed_t>(baud));
    }
    serial_line_settings_call = system_call;
    serial_device_close(port);
    close(master);
}

}  // namespace
