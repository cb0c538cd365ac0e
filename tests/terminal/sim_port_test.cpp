// The port word SIM in this process: the simulated board's UART read and written through the
// serial port's procedures, with the board programmed and reset through the simulated library
// as a programming pass does. The board runs on the host's clock, so each wait here is real.
#include "terminal/sim_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "base/run_settings.h"
#include "sim/sim_library.h"
#include "support/capture.h"
#include "terminal/serial_port.h"

namespace {

#ifdef KESTO_BLINK_BUILD
const std::string DEMO = KESTO_BLINK_BUILD "/blink.hex";
#else
const std::string DEMO = KESTO_SOURCE_DIR "/examples/blink/blink.hex";
#endif

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

    // The pass's part in it: the adapter opened (which halts the CPU), the demo programmed
    // when asked, and the reset that starts the CPU.
    void pass(bool program) {
        fet_int version = 0;
        ASSERT_EQ(sim.MSP430_Initialize("SIM", &version), 0);
        if (program) {
            ASSERT_EQ(sim.MSP430_ProgramFile(DEMO.c_str(), 1, 1), 0);
        }
        ASSERT_EQ(sim.MSP430_Reset(7, 1, 0), 0);
        ASSERT_EQ(sim.MSP430_Close(0), 0);
    }
    void open(const char* baud = "9600") {
        settings.baud = baud;
        select_serial_port("sim");
        open_serial_port();
    }

    // Reads as the terminal does, sleeping as long as the port allows (at most 20 ms), until
    // `needle` has come after `from` or `ms` have passed; gives what came.
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
    const struct {
        const char* fet_port;
        std::string why;
    } refused[] = {
        {"TIUSB", "(-FET TIUSB is no simulated adapter)\n"},
        {"SIM:F5438A", "(-FET SIM:F5438A simulates the MSP430F5438A, which has no board here)\n"},
    };
    for (const auto& c : refused) {
        std::strcpy(settings.fet_port, c.fet_port);
        const Captured out = capture_output([this] { open(); });
        EXPECT_EQ(out.status, 2) << c.fet_port;
        EXPECT_TRUE(out.text.starts_with("Can't open SIM: ") && out.text.find("-FET SIM") != std::string::npos &&
                    out.text.ends_with(c.why))
            << out.text;
        EXPECT_EQ(settings.port_handle, 0);
    }
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

// The demo after a pass: banner, ENQ answered, the echo; then a sleeping board lets the
// terminal wait until its next second; a new pass halts the CPU and its reset starts it afresh.
TEST_F(SimPort, TheDemoTalksAnswersAndSleepsBetweenItsSeconds) {
    open();
    pass(true);
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

// A UART at another rate than the host's delivers nothing, and says so once.
TEST_F(SimPort, ABoardAtAnotherRateIsToldOnce) {
    Captured out = capture_output([this] {
        open("19200");
        pass(true);
        read_until("never", 700);
    });
    EXPECT_EQ(received, "");
    // The demo's 9600 baud as the board makes it from its DCO: a little off, well within 5%.
    std::smatch rate;
    const std::regex told("\nThe board's UART runs at (\\d+) baud, not at 19200 \\(-baud\\): nothing it sends arrives\n");
    ASSERT_TRUE(std::regex_match(out.text, rate, told)) << out.text;
    EXPECT_NEAR(std::stoi(rate[1]), 9600, 96);
}

// No pass at all (-m): the terminal's first look powers up a board that was never started;
// a blank one (every run begins with one) holds its CPU and says why at -d 4.
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
    // A held CPU runs nothing: no slices of an active one, only the watchdog's resets if any.
    const int wait = serial_port_wait().timeout_ms;
    EXPECT_TRUE(wait < 0 || wait > 2) << wait;
}
