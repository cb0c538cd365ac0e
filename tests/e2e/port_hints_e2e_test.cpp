// The hint under a failed port open, through the built program: a missing device, a port held
// by another program, a device the user may not open, and a path that is no device at all.
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.h"
#include "support/serial_pty.h"

namespace {

const std::string BANNER = "KESTO 1.0  MSP430 programmer and serial terminal\n";
// A child that could not shed root's right to open any file exits with this.
constexpr int CANNOT_DROP_RIGHTS = 198;

// Runs kesto with the port first and no key wait. With `as_plain_user`, a child running as root
// first gives up the rights that let root open files whatever their mode, so the mode counts.
Captured kesto(const std::string& port, bool as_plain_user = false, std::vector<std::string> options = {}) {
    return capture_output([&] {
        if (as_plain_user && geteuid() == 0 &&
            (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0 ||
             prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0))
            _exit(CANNOT_DROP_RIGHTS);
        std::vector<std::string> words = {KESTO_BINARY, port, "-a", "0"};
        words.insert(words.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(KESTO_BINARY, argv.data());
        _exit(127);
    });
}

std::string failed_open(const std::string& port, long error, const std::string& hint) {
    return BANNER + "\t     Serial Port: " + port + "    Baud: 19200\n" + "Can't open " + port +
           ". Error: " + std::to_string(error) + "\n" + hint;
}

}  // namespace

TEST(PortHintsE2E, MissingDevicesPointToTheListingAndToDevicePaths) {
    struct Case {
        std::string argument, stored;
        std::string hint;
    };
    const std::vector<Case> cases = {
        {"/nonexistent-kesto-folder/ttyUSB0", "/nonexistent-kesto-folder/ttyUSB0",
         "  No such file or directory: is the board plugged in? See the ports with -pl,\n"
         "  or what is in /dev/serial/by-id.\n"},
        {"com21", "\\\\.\\COM21",
         "  No such file or directory: COM21 means /dev/ttyACM8, which is not there.\n"
         "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n"},
        {"COM22", "\\\\.\\COM22",
         "  No such file or directory: COM22 names no device (COM1..COM21 do).\n"
         "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n"},
    };
    if (access("/dev/ttyACM8", F_OK) == 0) GTEST_SKIP() << "this machine has a /dev/ttyACM8";
    for (const Case& c : cases) {
        const Captured run = kesto(c.argument);
        EXPECT_EQ(run.text, failed_open(c.stored, 2, c.hint)) << c.argument;
        EXPECT_EQ(run.status, 2) << c.argument;
    }
}

TEST(PortHintsE2E, PortHeldByAnotherProgramIsNamedBusy) {
    SerialPty port;
    const int held = open(port.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    const Captured run = kesto(port.path);
    close(held);
    EXPECT_EQ(run.text, failed_open(port.path, 16,
                                    "  Device or resource busy: another program holds " + port.path +
                                        "; close it\n  (fuser -v " + port.path + " shows which).\n"));
    EXPECT_EQ(run.status, 2);
}

TEST(PortHintsE2E, DeviceWithoutPermissionNamesTheDialoutGroup) {
    SerialPty port;
    ASSERT_EQ(chmod(port.path.c_str(), 0), 0);
    const Captured run = kesto(port.path, true);
    if (run.status == CANNOT_DROP_RIGHTS) GTEST_SKIP() << "root here cannot give up its file rights";
    EXPECT_EQ(run.text, failed_open(port.path, 13,
                                    "  Permission denied: join the dialout group (sudo usermod -aG dialout $USER,\n"
                                    "  then log in again), or add a udev rule that gives you " +
                                        port.path + ".\n"));
    EXPECT_EQ(run.status, 2);
}

TEST(PortHintsE2E, OtherErrorsGiveTheSystemsTextAlone) {
    const Captured run = kesto("/");
    EXPECT_EQ(run.text, failed_open("/", 21, "  Is a directory.\n"));
    EXPECT_EQ(run.status, 2);
}

TEST(PortHintsE2E, HintKeepsToTheLevelOfItsMessage) {
    // The banner comes before the options are read.
    const Captured run = kesto("/nonexistent-kesto-folder/tty", false, {"-d", "0"});
    EXPECT_EQ(run.text, BANNER);
    EXPECT_EQ(run.status, 2);
}
