#include "terminal/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/console.h"
#include "driver/run_settings.h"
#include "platform/serial_device.h"
#include "support/capture.h"
#include "support/serial_pty.h"

namespace {

struct ExitCalled {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw ExitCalled{status}; }

// Code that may end in exit_program runs in a child, so the whole output and the status show.
Captured run_child(const std::function<void()>& procedure) {
    return capture_output([&] {
        exit_interceptor = nullptr;
        procedure();
    });
}

// True when nobody holds the port any more.
bool port_is_free(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        settings = RunSettings{};
        settings.anykey_mode = 0;
        exit_interceptor = throw_exit;
        point_com_ports_nowhere();
    }
    void TearDown() override {
        if (settings.port_handle > 0) close_serial_port();
        settings = RunSettings{};
        exit_interceptor = nullptr;
        restore_com_ports();
    }
};

using SerialPortNaming = SerialPort;
using SerialPortScan = SerialPort;
using SerialPortListing = SerialPort;
using SerialPortOpen = SerialPort;
using SerialPortRead = SerialPort;

TEST_F(SerialPortNaming, ComNamesAreUpperCasedAndNotOpened) {
    select_serial_port("com3");
    EXPECT_STREQ(settings.port_name, "COM3");
    EXPECT_TRUE(settings.flags & FLAG_TERMINAL);
    EXPECT_EQ(settings.port_handle, 0);

    select_serial_port("com12");
    EXPECT_STREQ(settings.port_name, "\\\\.\\COM12");

    select_serial_port("Com");
    EXPECT_STREQ(settings.port_name, "\\\\.\\COM");
}

TEST_F(SerialPortNaming, OtherWordsNameNoPort) {
    select_serial_port("+ebpv");
    EXPECT_STREQ(settings.port_name, "");
    EXPECT_FALSE(settings.flags & FLAG_TERMINAL);
}

TEST_F(SerialPortNaming, DevicePathKeepsItsCase) {
    select_serial_port("/dev/serial/by-id/usb-Texas_Instruments_MSP-FET_43-if02");
    EXPECT_STREQ(settings.port_name, "/dev/serial/by-id/usb-Texas_Instruments_MSP-FET_43-if02");
    EXPECT_TRUE(settings.flags & FLAG_TERMINAL);
    EXPECT_EQ(settings.port_handle, 0);
}

TEST_F(SerialPortNaming, PathOf127CharactersFitsAnd128IsRefusedWhole) {
    const std::string fits = "/" + std::string(126, 'a');
    select_serial_port(fits.c_str());
    EXPECT_EQ(std::string(settings.port_name), fits);

    settings.port_name[0] = 0;
    const std::string too_long = "/" + std::string(127, 'b');
    const Captured out = run_child([&] { select_serial_port(too_long.c_str()); });
    EXPECT_EQ(out.text, "Port name too long (at most 127 characters): " + too_long + "\n");
    EXPECT_EQ(out.status, 2);
}

TEST_F(SerialPortNaming, LongComNameIsRefusedWhenThePrefixMakesItTooLong) {
    const std::string name = "com" + std::string(121, '1');  // 124, and 4 for "\\.\"
    const Captured out = run_child([&] { select_serial_port(name.c_str()); });
    EXPECT_EQ(out.text, "Port name too long (at most 127 characters): " + name + "\n");
    EXPECT_EQ(out.status, 2);

    const std::string fits = "com" + std::string(120, '1');
    select_serial_port(fits.c_str());
    EXPECT_EQ(std::strlen(settings.port_name), 127u);
}

TEST_F(SerialPortOpen, ComAloneFailsToOpen) {
    const Captured out = run_child([] {
        select_serial_port("COM");
        open_serial_port();
    });
    EXPECT_EQ(out.text, "Can't open \\\\.\\COM. Error: 2\n"
                        "  No such file or directory: COM names no device (COM1..COM21 do).\n"
                        "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n");
    EXPECT_EQ(out.status, 2);
}

TEST_F(SerialPortOpen, BothNameFormsGoThroughTheTable) {
    SerialPty com3, com12;
    serial_device_set_com_path(3, com3.path.c_str());
    serial_device_set_com_path(12, com12.path.c_str());
    const Captured out = run_child([] {
        settings.print_level = 3;
        select_serial_port("com3");
        open_serial_port();
        close_serial_port();
        select_serial_port("com12");
        open_serial_port();
    });
    EXPECT_EQ(out.text, "COM3 Open -OK\n\\\\.\\COM12 Open -OK\n");
    EXPECT_EQ(out.status, CAPTURE_RETURNED);
}

TEST_F(SerialPortOpen, RefusedBaudRateEndsWithCodeThree) {
    SerialPty pty;
    for (const char* rate : {"abc", "0", "-9600"}) {
        const Captured out = run_child([&] {
            select_serial_port(pty.path.c_str());
            settings.baud = rate;
            open_serial_port();
        });
        EXPECT_EQ(out.text, std::string("Can't set baudrate '") + rate + "'. Error: 22") << rate;
        EXPECT_EQ(out.status, 3) << rate;
    }
}

TEST_F(SerialPortScan, AutoTakesTheHighestPortAndLeavesItOpen) {
    SerialPty com3, com21;
    serial_device_set_com_path(3, com3.path.c_str());
    serial_device_set_com_path(21, com21.path.c_str());
    select_serial_port("AUTO");
    EXPECT_STREQ(settings.port_name, "\\\\.\\COM21");
    EXPECT_TRUE(settings.flags & FLAG_TERMINAL);
    ASSERT_GT(settings.port_handle, 2);
    EXPECT_FALSE(port_is_free(com21.path));
    EXPECT_TRUE(port_is_free(com3.path));

    // A second open of COM21 would now fail: the open after the scan must only configure.
    serial_device_set_com_path(21, nullptr);
    point_com_ports_nowhere();
    const std::intptr_t found = settings.port_handle;
    settings.print_level = 3;
    testing::internal::CaptureStdout();
    open_serial_port();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\\\\.\\COM21 Open -OK\n");
    EXPECT_EQ(settings.port_handle, found);
    serial_write("ok", 2);
    EXPECT_EQ(com21.receive(2), "ok");
}

TEST_F(SerialPortScan, UsbDoesNotReachTheOnBoardPorts) {
    SerialPty com3;
    serial_device_set_com_path(3, com3.path.c_str());
    Captured out = run_child([] { select_serial_port("usb"); });
    EXPECT_EQ(out.text, "Can't find COM Port\n  No device is there as COM5..COM21; give the device path first\n"
                        "  (ls /dev/serial/by-id shows what is plugged in).\n");
    EXPECT_EQ(out.status, 2);

    select_serial_port("Autox");
    EXPECT_STREQ(settings.port_name, "COM3");
    EXPECT_GT(settings.port_handle, 2);
}

TEST_F(SerialPortScan, UsbReachesComFive) {
    SerialPty com4, com5;
    serial_device_set_com_path(4, com4.path.c_str());
    serial_device_set_com_path(5, com5.path.c_str());
    select_serial_port("USB");
    EXPECT_STREQ(settings.port_name, "COM5");
    EXPECT_GT(settings.port_handle, 2);
}

TEST_F(SerialPortScan, PortHeldByAnotherProgramIsSkipped) {
    SerialPty com7, com21;
    serial_device_set_com_path(7, com7.path.c_str());
    serial_device_set_com_path(21, com21.path.c_str());
    // This process holds COM21 the way another terminal program would; the scan runs in a child.
    const int held = open(com21.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    const Captured out = run_child([] {
        list_com_ports();
        select_serial_port("AUTO");
        std::printf("%s\n", settings.port_name);
    });
    close(held);
    EXPECT_EQ(out.text, "\nFound: COM7  (" + com7.path + ")\nDone\nCOM7\n");
}

TEST_F(SerialPortListing, ShowsEachPortWithItsDeviceAndClosesThem) {
    SerialPty com1, com12;
    serial_device_set_com_path(1, com1.path.c_str());
    serial_device_set_com_path(12, com12.path.c_str());
    const Captured out = run_child([&] {
        list_com_ports();
        std::printf("%s %s\n", port_is_free(com1.path) ? "free" : "held",
                    port_is_free(com12.path) ? "free" : "held");
    });
    EXPECT_EQ(out.text, "\nFound: COM1  (" + com1.path + ")\n       COM12  (" + com12.path + ")\nDone\nfree free\n");
    EXPECT_EQ(out.status, CAPTURE_RETURNED);
}

TEST_F(SerialPortListing, NothingFound) {
    const Captured out = run_child([] { list_com_ports(); });
    EXPECT_EQ(out.text, "Can't find COM Port\n");
    EXPECT_EQ(out.status, CAPTURE_RETURNED);
}

class SerialPortOnPty : public SerialPort {
protected:
    SerialPty board;
    void SetUp() override {
        SerialPort::SetUp();
        select_serial_port(board.path.c_str());
        open_serial_port();
    }
};

using SerialPortGather = SerialPortOnPty;
using SerialPortWrite = SerialPortOnPty;

TEST_F(SerialPortGather, FullBatchLeavesTheRestForTheNextCall) {
    std::string sent(600, 0);
    for (int i = 0; i < 600; ++i) sent[static_cast<std::size_t>(i)] = static_cast<char>('A' + i % 26);
    board.send(sent);
    ASSERT_TRUE(board.wait_pending(600));
    char buffer[511];
    std::memset(buffer, 0x55, sizeof buffer);
    int count = -1;
    serial_read(buffer, 511, count, 0, 500);
    ASSERT_EQ(count, 510);
    EXPECT_EQ(buffer[510], 0);
    EXPECT_EQ(std::string(buffer, 510), sent.substr(0, 510));
    serial_read(buffer, 511, count, 0, 500);
    ASSERT_EQ(count, 90);
    EXPECT_EQ(std::string(buffer), sent.substr(510));
}

TEST_F(SerialPortGather, NothingWaitingCostsOneOfTheBudget) {
    char buffer[511];
    std::memset(buffer, 0x55, sizeof buffer);
    int count = -1;
    serial_read(buffer, 511, count, 0, 500);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(settings.read_budget, 499);
}

TEST_F(SerialPortGather, WaitsForLinesUntilTheBudgetIsSpent) {
    board.send("a\n");
    ASSERT_TRUE(board.wait_pending(2));
    char buffer[64];
    int count = -1;
    serial_read(buffer, sizeof buffer, count, 2, 3);
    EXPECT_EQ(count, 2);
    EXPECT_STREQ(buffer, "a\n");
    EXPECT_EQ(settings.read_budget, 0);
}

TEST_F(SerialPortGather, StopsAtTheLineCount) {
    board.send("one\ntwo\n");
    ASSERT_TRUE(board.wait_pending(8));
    char buffer[64];
    int count = -1;
    serial_read(buffer, sizeof buffer, count, 2, 500);
    EXPECT_STREQ(buffer, "one\ntwo\n");
    EXPECT_EQ(settings.read_budget, 500);
}

TEST_F(SerialPortGather, NulBytesAreDelivered) {
    board.send(std::string("x\0y", 3));
    ASSERT_TRUE(board.wait_pending(3));
    char buffer[16];
    int count = -1;
    serial_read(buffer, sizeof buffer, count, 0, 500);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::string(buffer, 3), std::string("x\0y", 3));
}

TEST_F(SerialPortWrite, BytesReachTheBoardUnchanged) {
    serial_write("AT\r\n\x05", 5);
    EXPECT_EQ(board.receive(5), "AT\r\n\x05");
    EXPECT_EQ(settings.write_errors, 0);
}

TEST_F(SerialPortWrite, FailureAfterTheBoardWentAwayIsCountedAndSurvivesAReopen) {
    std::strcpy(settings.port_name, "COM3");
    serial_device_set_com_path(3, board.path.c_str());
    board.hang_up();
    testing::internal::CaptureStdout();
    serial_write("x", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "COM3 Error. Press [F4] for Reopen.\n");
    EXPECT_EQ(settings.write_errors, 1);

    // F4: the port is closed and opened afresh on a board that answers again.
    SerialPty again;
    serial_device_set_com_path(3, again.path.c_str());
    close_serial_port();
    open_serial_port();
    serial_write("y", 1);
    EXPECT_EQ(again.receive(1), "y");
    EXPECT_EQ(settings.write_errors, 1);
}

TEST_F(SerialPortRead, GoneBoardDeliversNothingAndDoesNotSpin) {
    EXPECT_EQ(serial_port_descriptor(), -1);
    SerialPty board;
    select_serial_port(board.path.c_str());
    open_serial_port();
    EXPECT_GT(serial_port_descriptor(), 2);
    board.hang_up();
    EXPECT_EQ(serial_port_descriptor(), -1);
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    char buffer[64];
    int count = -1;
    serial_read(buffer, sizeof buffer, count, 5, 20);
    clock_gettime(CLOCK_MONOTONIC, &end);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(settings.read_budget, 0);
    // Each of the 20 empty reads waits out its millisecond (a lower bound only).
    const long long elapsed_us = (end.tv_sec - start.tv_sec) * 1000000LL + (end.tv_nsec - start.tv_nsec) / 1000;
    EXPECT_GE(elapsed_us, 20 * 1000);
}

}  // namespace
