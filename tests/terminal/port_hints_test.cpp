// The hint under a failed scan: a port that exists but is held elsewhere is worth naming, since
// "Can't find COM Port" alone sends the operator looking for a missing cable.
#include "terminal/port_hints.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "driver/console.h"
#include "driver/run_settings.h"
#include "platform/serial_device.h"
#include "support/capture.h"
#include "support/serial_pty.h"
#include "terminal/serial_port.h"

namespace {

// Holds a port the way another terminal program does.
struct HeldPort {
    SerialPty pty;
    int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    HeldPort() { flock(fd, LOCK_EX | LOCK_NB); }
    ~HeldPort() { close(fd); }
};

class PortHints : public ::testing::Test {
protected:
    void SetUp() override {
        settings = RunSettings{};
        settings.anykey_mode = 0;
        point_com_ports_nowhere();
    }
    void TearDown() override {
        settings = RunSettings{};
        restore_com_ports();
    }

    static Captured scan(const char* word) {
        return capture_output([word] {
            exit_interceptor = nullptr;
            select_serial_port(word);
        });
    }
};

}  // namespace

TEST_F(PortHints, ScanNamesTheFirstPortItFoundHeld) {
    HeldPort com9, com12;
    serial_device_set_com_path(9, com9.pty.path.c_str());
    serial_device_set_com_path(12, com12.pty.path.c_str());
    const std::string& path = com12.pty.path;
    const Captured out = scan("USB");
    EXPECT_EQ(out.text, "Can't find COM Port\n  COM12 means " + path + ", which is there but refused:\n" +
                            "  Device or resource busy: another program holds " + path + "; close it\n" +
                            "  (fuser -v " + path + " shows which).\n");
    EXPECT_EQ(out.status, 2);
}

TEST_F(PortHints, ScanHintKeepsToTheLevelOfItsMessage) {
    HeldPort com5;
    serial_device_set_com_path(5, com5.pty.path.c_str());
    settings.print_level = 0;
    const Captured out = scan("AUTO");
    EXPECT_EQ(out.text, "");
    EXPECT_EQ(out.status, 2);
}
