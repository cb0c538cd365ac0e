// The board runs on the host's clock, so each wait here is real.
#include "terminal/sim_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "base/run_settings.h"
#include "sim/sim_library.h"
#include "support/blink_example.h"
#include "support/capture.h"
#include "terminal/serial_port.h"

namespace {

const std::string DEMO = blink_example("hex");

constexpr char ENQ = 0x05, ACK = 0x06;
const std::string BANNER = "KESTO board demo";

class SimPort : public ::testing::Test {
protected:
    void SetUp() override {
        reset_simulator();
        settings = RunSettings{};
        settings.anykey_mode = 0;
        std::strcpy(settings.fet_port, "SIM");
    }
    void TearDown() override {
        if (settings.port_handle > 0) close_serial_port();
        reset_simulator();
        settings = RunSettings{};
    }

    // Opening the adapter halts the CPU; the reset starts it.
    void pass(const std::string& image) {
        fet_int version = 0;
        ASSERT_EQ(sim.MSP430_Initialize("SIM", &version), 0);
        ASSERT_EQ(sim.MSP430_ProgramFile(image.c_str(), 1, 1), 0);
        ASSERT_EQ(sim.MSP430_Reset(7, 1, 0), 0);
        ASSERT_EQ(sim.MSP430_Close(0), 0);
    }
    void open(const char* baud = "9600") {
        settings.baud = baud;
        select_serial_port("sim");
        open_serial_port();
    }

    // Reads as the terminal does, sleeping as long as the port allows (at most 20 ms).
    std::string read_until(const std::string& needle, int ms = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        const std::size_t from = received.size();
        while (received.find(needle, from) == std::string::npos && std::chrono::steady_clock::now() < end) {
            const int wait = serial_port_wait().timeout_ms;
            std::this_thread::sleep_for(std::chrono::milliseconds(wait < 0 || wait > 20 ? 20 : wait));
            char buffer[512];
            int count = 0;
            serial_read(buffer, sizeof buffer, count, 0, 500);
            received.append(buffer, static_cast<std::size_t>(count));
        }
        return received.substr(from);
    }

    const FetLibrary& sim = *simulator_library();
    std::string received;
};

}  // namespace

TEST_F(SimPort, NeedsTheSimulatedAdapterOfTheBoardsPart) {
    std::strcpy(settings.fet_port, "SIM:F5438A");
    const Captured out = capture_output([this] { open(); });
    EXPECT_EQ(out.status, 2);
    EXPECT_TRUE(out.text.starts_with("Can't open SIM: ") && out.text.find("needs -FET SIM") != std::string::npos &&
                out.text.ends_with("(-FET SIM:F5438A simulates the MSP430F5438A, which has no board here)\n"))
        << out.text;
    EXPECT_EQ(settings.port_handle, 0);
    std::strcpy(settings.fet_port, "sim:msp430g2553");
    EXPECT_EQ(capture_output([this] { open(); }).status, CAPTURE_RETURNED);
    EXPECT_STREQ(settings.port_name, "SIM");
    EXPECT_TRUE(settings.flags & FLAG_TERMINAL);
    close_serial_port();
    EXPECT_EQ(capture_output([this] { open("0"); }).status, 3);
    // Only the whole word names the board.
    settings = RunSettings{};
    select_serial_port("SIMX");
    EXPECT_STREQ(settings.port_name, "");
}

TEST_F(SimPort, TheDemoTalksAnswersAndSleepsBetweenItsSeconds) {
    open();
    pass(DEMO);
    EXPECT_NE(read_until(std::string(1, ENQ)).find(BANNER), std::string::npos);
    EXPECT_TRUE(serial_write(&ACK, 1));
    EXPECT_NE(read_until("it comes back\r\n").find("ENQ sent, the host answered ACK\r\n"), std::string::npos);
    EXPECT_TRUE(serial_write("ok", 2));
    EXPECT_EQ(read_until("ok", 500), "ok");
    // Asleep in LPM3 until the timer's next second: a wait of more than a slice, no longer than
    // a second, and no read in between brings anything.
    const int wait = serial_port_wait().timeout_ms;
    EXPECT_GT(wait, 2);
    EXPECT_LE(wait, 1000);
    EXPECT_NE(read_until("count 1\r\n", 1500).find("LED on   count 1\r\n"), std::string::npos);

    fet_int version = 0;
    ASSERT_EQ(sim.MSP430_Initialize("SIM", &version), 0);
    EXPECT_EQ(serial_port_wait().timeout_ms, -1);  // halted: nothing is due
    EXPECT_EQ(read_until("count 2", 1200), "");
    ASSERT_EQ(sim.MSP430_Reset(7, 1, 0), 0);
    EXPECT_NE(read_until(std::string(1, ENQ)).find(BANNER), std::string::npos);
    EXPECT_NE(read_until("it comes back").find("ENQ sent, no ACK from the host"), std::string::npos);
}

// Every run begins with a blank board.
TEST_F(SimPort, WithoutAPassTheBoardPowersUpFromWhatItsFlashHolds) {
    settings.print_level = 4;
    const Captured out = capture_output([this] {
        open();
        read_until("never", 100);
    });
    EXPECT_EQ(received, "");
    EXPECT_NE(out.text.find("The virtual board's CPU is held in reset: the reset vector is blank (0xFFFF)\n"),
              std::string::npos)
        << out.text;
}

// As a real board is when the real library's reset returns.
TEST_F(SimPort, TheBoardsHeadStartKeepsItsOutputFromReset) {
    open();
    pass(DEMO);
    char buffer[512];
    int count = 0;
    serial_read(buffer, sizeof buffer, count, 0, 500);
    EXPECT_TRUE(std::string(buffer, static_cast<std::size_t>(count)).starts_with("\r\n" + BANNER));
}

// A pass of +ep: a real chip runs once the adapter lets go. A wait without end would keep the
// board still until a key is pressed.
TEST_F(SimPort, AProgrammedBoardRunsFromTheTerminalsFirstWait) {
    fet_int version = 0;
    ASSERT_EQ(sim.MSP430_Initialize("SIM", &version), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(DEMO.c_str(), 1, 1), 0);
    ASSERT_EQ(sim.MSP430_Close(0), 0);
    open();
    EXPECT_GE(serial_port_wait().timeout_ms, 0);
    EXPECT_NE(read_until(BANNER).find(BANNER), std::string::npos);
}
