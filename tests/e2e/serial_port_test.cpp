#include "terminal/serial_port.h"

#include <sys/file.h>

#include <gtest/gtest.h>

#include "base/run_settings.h"
#include "support/capture.h"
#include "e2e/pty_harness.h"

using namespace std::string_literals;

namespace {

class SerialPort : public ::testing::Test {
protected:
    SerialLine board, com12, held;  // another terminal program holds `held`
    int held_fd = -1;
    void SetUp() override {
        settings = RunSettings{};
        settings.anykey_mode = 0;
        point_com_ports("/nonexistent");
        serial_device_set_com_path(3, board.path.c_str());
        serial_device_set_com_path(12, com12.path.c_str());
        held_fd = open(held.path.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(flock(held_fd, LOCK_EX | LOCK_NB), 0);
    }
    void TearDown() override {
        close_serial_port();
        point_com_ports(nullptr);
        close(held_fd);
    }
    void open_port(const char* name) { select_serial_port(name), open_serial_port(); }
};

TEST_F(SerialPort, NamesOpenThroughTheTableOrAreRefused) {
    const std::string path127 = "/" + std::string(126, 'a'), com124 = "com" + std::string(121, '1');
    Captured out = capture_output([&] {
        settings.print_level = 3;
        select_serial_port(path127.c_str()), puts(settings.port_name);  // a path keeps its case
        for (const char* name : {"com3", "com12"}) open_port(name), close_serial_port();
        select_serial_port(com124.c_str());  // 128 characters with "\\.\"
    });
    EXPECT_EQ(out.text, path127 + "\nCOM3 Open -OK\n\\\\.\\COM12 Open -OK\n" +
                            "Port name too long (at most 127 characters): " + com124 + "\n");
    EXPECT_EQ(out.status, 2);
    out = capture_output([this] { open_port("COM"); });
    EXPECT_EQ(out.text, "Can't open \\\\.\\COM. Error: 2\n"
                        "  No such file or directory: COM names no device (COM1..COM21 do).\n"
                        "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n");
    EXPECT_EQ(out.status, 2);
}

TEST_F(SerialPort, LineIsRaw8N1AtTheRateAskedOrTheRunEnds) {
    termios line{};
    tcgetattr(board.slave, &line);  // a fresh pseudo-terminal is cooked: echo, lines, CR to LF
    line.c_cflag = (line.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    tcsetattr(board.slave, TCSANOW, &line);
    open_port(board.path.c_str());
    ASSERT_EQ(tcgetattr(board.slave, &line), 0);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ((line.c_iflag & (IXON | ICRNL)) | (line.c_lflag & (ICANON | ECHO | ISIG)) | (line.c_oflag & OPOST), 0u);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
    // Every rate termios has a name for goes out by that name, as the C library's own table
    // gives it, not as a custom rate that only some drivers take.
    for (const char* rate : {"50", "75", "110", "134", "150", "200", "300", "600", "1200", "1800", "2400", "4800",
                             "9600", "38400", "57600", "115200", "230400", "460800", "500000", "576000", "921600",
                             "1000000", "1152000", "1500000", "2000000", "2500000", "3000000", "3500000", "4000000"}) {
        termios named{};
        ASSERT_EQ(cfsetspeed(&named, static_cast<speed_t>(std::atol(rate))), 0) << rate;
        close_serial_port(), settings.baud = rate, open_port(board.path.c_str());
        ASSERT_EQ(tcgetattr(board.slave, &line), 0);
        EXPECT_EQ(cfgetospeed(&line), cfgetospeed(&named)) << rate;
    }
    Captured out = capture_output([] { settings.baud = "-9600", open_serial_port(); });
    EXPECT_EQ(out.text, "Can't set baudrate '-9600'. Error: 22");
    EXPECT_EQ(out.status, 3);
    // A driver that refuses the settings call itself ends the run as a rate it cannot make does.
    const LineSettingsCall system_call = serial_line_settings_call;
    serial_line_settings_call = [](SerialHandle, const void*) -> long { return EIO; };
    out = capture_output([] { settings.baud = "19200", open_serial_port(); });
    serial_line_settings_call = system_call;
    EXPECT_TRUE(out.text.starts_with("Can't set baudrate '19200'. Error: 5")) << out.text;
    EXPECT_EQ(out.status, 3);
    // A device that is no terminal is named as such before the rate is looked at.
    out = capture_output([this] { close_serial_port(), settings.baud = "-9600", open_port("/dev/null"); });
    EXPECT_TRUE(out.text.starts_with("Can't set baudrate '-9600'. Error: 25")) << out.text;
}

TEST_F(SerialPort, ListingAndAutoSkipAHeldPortAndAutoLeavesItsPortOpen) {
    const Captured out = capture_output([this] {
        point_com_ports("/nonexistent"), list_com_ports();
        serial_device_set_com_path(7, board.path.c_str());
        serial_device_set_com_path(12, com12.path.c_str());
        serial_device_set_com_path(21, held.path.c_str());
        list_com_ports();  // must close what it opened, or the scan below finds nothing
        select_serial_port("AUTO");
        point_com_ports("/nonexistent");  // a second open would fail: the later open only configures
        settings.print_level = 3;
        open_serial_port();
        serial_write("ok", 2);
    });
    const std::string sim = "\nFound: SIM  (the UART of the simulated MSP430G2553 board, with -FET SIM)\n";
    EXPECT_EQ(out.text, sim + "Can't find COM Port\n" + sim + "       COM7  (" + board.path + ")\n       COM12  (" +
                            com12.path + ")\nDone\n\\\\.\\COM12 Open -OK\n");
    EXPECT_EQ(com12.receive(2), "ok");
}

TEST_F(SerialPort, UsbStopsAtComFiveAndNamesAHeldPort) {
    serial_device_set_com_path(4, board.path.c_str());  // COM3 is there too
    serial_device_set_com_path(12, held.path.c_str());
    const std::string& path = held.path;
    const Captured out = capture_output([] { select_serial_port("usb"); });
    EXPECT_EQ(out.text, "Can't find COM Port\n  COM12 means " + path + ", which is there but refused:\n" +
                            "  Device or resource busy: another program holds " + path + "; close it\n" +
                            "  (fuser -v " + path + " shows which).\n");
    EXPECT_EQ(out.status, 2);
    serial_device_set_com_path(5, board.path.c_str());
    select_serial_port("USB");
    EXPECT_STREQ(settings.port_name, "COM5");
}

TEST_F(SerialPort, ReadGathersUpToTheBatchTheLinesOrTheBudget) {
    open_port(board.path.c_str());
    char buffer[511];
    int count = -1;
    // What one read gathers, its terminator, and the budget it leaves.
    const auto gather = [&](const std::string& sent, int max_lines, int budget) {
        board.send(sent);
        EXPECT_TRUE(board.wait_pending(static_cast<int>(sent.size())));
        serial_read(buffer, 511, count, max_lines, budget);
        return std::string(buffer, static_cast<std::size_t>(count) + 1) + std::to_string(settings.read_budget);
    };
    std::string sent(600, 0);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 % 251);  // NULs too
    EXPECT_EQ(gather("", 0, 500), "\0" "499"s);
    EXPECT_EQ(gather(sent, 0, 500), sent.substr(0, 510) + '\0' + "500");
    EXPECT_EQ(gather("", 0, 500), sent.substr(510) + '\0' + "500");
    EXPECT_EQ(gather("a\n", 2, 3), "a\n\0" "0"s);  // one line of the two asked for: the budget runs out
    EXPECT_EQ(gather("1\n2\n3\n", 2, 500), "1\n2\n3\n\0" "500"s);
}

}  // namespace
