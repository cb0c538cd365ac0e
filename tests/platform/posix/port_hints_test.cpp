#include "platform/port_hints.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

const std::string DENIED = "  Permission denied: for the chip maker's adapters, the udev rule\n"
                          "  /usr/lib/udev/rules.d/70-kesto.rules (installed with kesto) gives you access;\n"
                          "  plug the adapter in again after installing it. For other devices, join the\n"
                          "  dialout group (sudo usermod -aG dialout $USER, then log in again).\n";

TEST(PortHints, EachErrorClassGetsItsHint) {
    const std::string see = "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n";
    const std::string busy = "  Device or resource busy: another program holds /dev/ttyUSB7; close it\n"
                             "  (fuser -v /dev/ttyUSB7 shows which).\n";
    // port nullptr: a scan from COM5 that found nothing there, or COM12 held (EBUSY).
    const struct Case { const char* port; long error; std::string hint; } cases[] = {
        {"/dev/x", ENOENT, "  No such file or directory: is the board plugged in? See the ports with -pl,\n"
                           "  or what is in /dev/serial/by-id.\n"},
        {"\\\\.\\COM21", ENOENT, "  No such file or directory: COM21 means /dev/ttyACM8, which is not there.\n" + see},
        {"COM0", ENOENT, "  No such file or directory: COM0 names no device (COM1..COM21 do).\n" + see},
        {"/dev/x", EACCES, DENIED},
        {"\\\\.\\COM12", EBUSY, busy}, {"/", EISDIR, "  Is a directory.\n"},
        {"", ENOENT, "  No port was named: give a COM name or a device path first.\n"},
        {nullptr, 0, "  No device is there as COM5..COM21; give the device path first\n"
                     "  (ls /dev/serial/by-id shows what is plugged in).\n"},
        {nullptr, EBUSY, "  COM12 means /dev/ttyUSB7, which is there but refused:\n" + busy},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.port ? serial_open_hint(c.port, c.error) : serial_scan_hint(5, c.error ? 12 : 0, c.error), c.hint)
            << (c.port ? c.port : "scan");
    // Under a refused line setting: only a path that is no serial device gets a word.
    EXPECT_EQ(serial_settings_hint("COM3", ENOTTY) + serial_settings_hint("/dev/x", EINVAL),
              "\n  Inappropriate ioctl for device: /dev/ttyS2 is not a serial device.\n");
}
