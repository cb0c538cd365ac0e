#include "platform/serial_device.h"

// The kernel's termios2 shows the rate a device really took, also for rates without a constant.
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/serial_pty.h"

namespace {

termios2 line_of(int fd) {
    termios2 line{};
    EXPECT_EQ(ioctl(fd, TCGETS2, &line), 0);
    return line;
}

class SerialDevice : public ::testing::Test {
protected:
    void SetUp() override { point_com_ports_nowhere(); }
    void TearDown() override { restore_com_ports(); }
};

// A port opened on a pseudo-terminal, closed at the end of the test.
class SerialDeviceOpen : public SerialDevice {
protected:
    SerialPty pty;
    std::intptr_t handle = -1;
    void open_port() {
        long error = 0;
        handle = serial_device_open(pty.path.c_str(), error);
        ASSERT_GT(handle, 2) << error;
    }
    void TearDown() override {
        serial_device_close(handle);
        SerialDevice::TearDown();
    }
};

TEST(SerialDeviceTable, ComNumbersMapOntoTheLinuxDevices) {
    EXPECT_STREQ(serial_device_com_path(1), "/dev/ttyS0");
    EXPECT_STREQ(serial_device_com_path(4), "/dev/ttyS3");
    EXPECT_STREQ(serial_device_com_path(5), "/dev/ttyUSB0");
    EXPECT_STREQ(serial_device_com_path(12), "/dev/ttyUSB7");
    EXPECT_STREQ(serial_device_com_path(13), "/dev/ttyACM0");
    EXPECT_STREQ(serial_device_com_path(21), "/dev/ttyACM8");
    EXPECT_EQ(serial_device_com_path(0), nullptr);
    EXPECT_EQ(serial_device_com_path(22), nullptr);
}

TEST(SerialDeviceTable, StoredNamesMeanTheseDevices) {
    EXPECT_STREQ(serial_device_path("COM3"), "/dev/ttyS2");
    EXPECT_STREQ(serial_device_path("\\\\.\\COM12"), "/dev/ttyUSB7");
    EXPECT_STREQ(serial_device_path("\\\\.\\COM21"), "/dev/ttyACM8");
    EXPECT_STREQ(serial_device_path("/dev/serial/by-id/x"), "/dev/serial/by-id/x");
    for (const char* none : {"\\\\.\\COM", "COM", "COM0", "COM22", "COM03", "COM1X", "\\\\.\\COM100",
                             "LPT1", "\\\\.\\", "", "com3", "COM99999999999999999999"})
        EXPECT_EQ(serial_device_path(none), nullptr) << none;
}

TEST_F(SerialDevice, OpenIsExclusiveAndSaysWhyItFailed) {
    long error = 0;
    EXPECT_EQ(serial_device_open("\\\\.\\COM", error), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(serial_device_open("COM3", error), -1);
    EXPECT_EQ(error, ENOENT);

    SerialPty pty;
    const int held = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(serial_device_open(pty.path.c_str(), error), -1);
    EXPECT_EQ(error, EBUSY);
    close(held);

    const std::intptr_t first = serial_device_open(pty.path.c_str(), error);
    ASSERT_GT(first, 2);
    EXPECT_EQ(serial_device_open(pty.path.c_str(), error), -1);
    serial_device_close(first);
    const std::intptr_t again = serial_device_open(pty.path.c_str(), error);
    EXPECT_GT(again, 2);
    serial_device_close(again);
}

TEST_F(SerialDevice, DescriptorIsNeverStandardInput) {
    SerialPty pty;
    const Captured out = capture_output([&] {
        close(STDIN_FILENO);
        long error = 0;
        const std::intptr_t handle = serial_device_open(pty.path.c_str(), error);
        std::printf("%s %s\n", handle >= 3 ? "high" : "low", fcntl(STDIN_FILENO, F_GETFD) < 0 ? "free" : "used");
    });
    EXPECT_EQ(out.text, "high free\n");
}

TEST_F(SerialDeviceOpen, LineSettingsAreRaw8N1WithoutFlowControl) {
    // Start from a line that has everything the port must not keep.
    termios2 dirty = line_of(pty.slave);
    dirty.c_cflag = (dirty.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CSTOPB | CRTSCTS | HUPCL;
    dirty.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    dirty.c_lflag |= ICANON | ECHO | ISIG;
    dirty.c_oflag |= OPOST;
    ASSERT_EQ(ioctl(pty.slave, TCSETS2, &dirty), 0);
    open_port();
    ASSERT_EQ(serial_device_configure(handle, 19200), 0);
    const termios2 line = line_of(pty.slave);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_cflag & CBAUD, static_cast<tcflag_t>(B19200));
    EXPECT_EQ(line.c_ospeed, 19200u);
    EXPECT_EQ(line.c_cc[VMIN], 0);
    EXPECT_EQ(line.c_cc[VTIME], 0);
    // Pseudo-terminals have no modem lines; where a device shows them, DTR and RTS are low.
    int modem = 0;
    if (ioctl(static_cast<int>(handle), TIOCMGET, &modem) == 0) {
        EXPECT_EQ(modem & (TIOCM_DTR | TIOCM_RTS), 0);
    }
}

TEST_F(SerialDeviceOpen, RatesWithoutAConstantGoThroughBother) {
    termios2 probe = line_of(pty.slave);
    probe.c_cflag = (probe.c_cflag & ~static_cast<tcflag_t>(CBAUD)) | BOTHER;
    probe.c_ospeed = probe.c_ispeed = 250000;
    if (ioctl(pty.slave, TCSETS2, &probe) != 0 || line_of(pty.slave).c_ospeed != 250000u)
        GTEST_SKIP() << "this kernel's pseudo-terminals take no arbitrary rates";
    probe.c_cflag = (probe.c_cflag & ~static_cast<tcflag_t>(CBAUD)) | B9600;
    probe.c_ospeed = probe.c_ispeed = 9600;
    ASSERT_EQ(ioctl(pty.slave, TCSETS2, &probe), 0);
    open_port();
    ASSERT_EQ(serial_device_configure(handle, 250000), 0);
    EXPECT_EQ(line_of(pty.slave).c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(line_of(pty.slave).c_ospeed, 250000u);
    ASSERT_EQ(serial_device_configure(handle, 115200), 0);
    EXPECT_EQ(line_of(pty.slave).c_cflag & CBAUD, static_cast<tcflag_t>(B115200));
    EXPECT_EQ(line_of(pty.slave).c_ospeed, 115200u);
}

TEST_F(SerialDeviceOpen, RefusedSettingsGiveTheErrorCode) {
    open_port();
    EXPECT_EQ(serial_device_configure(handle, 0), EINVAL);
    EXPECT_EQ(serial_device_configure(handle, -9600), EINVAL);
    EXPECT_EQ(serial_device_configure(handle, 0x100000000L), EINVAL);
    long error = 0;

    // Something that is no serial line at all opens, but takes no line settings.
    const std::intptr_t not_a_line = serial_device_open("/dev/null", error);
    ASSERT_GT(not_a_line, 2);
    EXPECT_EQ(serial_device_configure(not_a_line, 19200), ENOTTY);
    serial_device_close(not_a_line);
}

TEST_F(SerialDeviceOpen, LongWriteArrivesWholeThroughAFullBuffer) {
    open_port();
    ASSERT_EQ(serial_device_configure(handle, 115200), 0);
    // Far more than a pseudo-terminal buffers, so the write must wait and go on.
    std::string sent(300000, 0);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 % 251);
    std::string received;
    std::thread board([&] { received = pty.receive(sent.size(), 20000); });
    const long result = serial_device_write(handle, sent.data(), sent.size());
    board.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes";
}

TEST_F(SerialDeviceOpen, OutputThatNeverDrainsFailsInsteadOfHanging) {
    open_port();
    ASSERT_EQ(serial_device_configure(handle, 115200), 0);
    const std::string lots(1 << 20, 'x');  // nobody reads the board side
    EXPECT_EQ(serial_device_write(handle, lots.data(), lots.size()), ETIMEDOUT);
}

TEST_F(SerialDeviceOpen, GoneDeviceReadsNothingSlowlyAndFailsWrites) {
    open_port();
    ASSERT_EQ(serial_device_configure(handle, 19200), 0);
    EXPECT_FALSE(serial_device_hung_up(handle));
    pty.hang_up();
    EXPECT_TRUE(serial_device_hung_up(handle));
    char buffer[16] = {};
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(serial_device_read(handle, buffer, sizeof buffer), 0u);
    clock_gettime(CLOCK_MONOTONIC, &end);
    // A lower bound only: each read still waits its millisecond instead of returning at once.
    EXPECT_GE((end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec), 10 * 1000000LL);
    EXPECT_EQ(serial_device_write(handle, "x", 1), EIO);
}

TEST(SerialDeviceHandle, NoPortNeverTouchesStandardInputOrOutput) {
    EXPECT_EQ(serial_device_descriptor(0), -1);
    EXPECT_EQ(serial_device_descriptor(-1), -1);
    EXPECT_FALSE(serial_device_hung_up(0));
    char buffer[4];
    EXPECT_EQ(serial_device_read(0, buffer, sizeof buffer), 0u);
    EXPECT_EQ(serial_device_write(0, "x", 1), EBADF);
    EXPECT_EQ(serial_device_configure(-1, 19200), EBADF);
}

}  // namespace
