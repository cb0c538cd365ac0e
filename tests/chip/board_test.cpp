#include "chip/board.h"

#include <gtest/gtest.h>

#include "image/image_file.h"
#include "chip/clock.h"
#include "chip/cpu_test_bus.h"
#include "chip/parts.h"
#include "chip/target.h"

namespace {

constexpr std::uint64_t MS = 1'000'000;
// The host starts the board at some time of its own; board time counts from there.
constexpr std::uint64_t START = 5'000 * MS;

struct Arrival { std::uint64_t ns; char byte; };  // at board time

// Empty when the board has told exactly one thing since the last look, and that names `what`.
std::string one_note(Board& board, const char* what) {
    const std::vector<std::string> notes = board.take_notes();
    return notes.size() == 1 && notes[0].find(what) != std::string::npos ? "" : ::testing::PrintToString(notes);
}

class VirtualBoard : public ::testing::Test {
protected:
    void start(const char* name) {
        const std::string path = std::string(KESTO_SIM_FIRMWARE) + "/" + name + ".elf";
        MemoryImage image;
        std::string error;
        if (read_image_file(path.c_str(), image, error) != IMAGE_OK) {
            GTEST_SKIP() << "no MSP430 clang and ld.lld to build the test programs with: " << error;
        }
        ASSERT_EQ(target.program(image, error), 0) << error;
        board.start(target, START);
    }

    // As a host would: waking when the board asks, but at least every 20 µs while its CPU runs.
    std::vector<Arrival> run_until(std::uint64_t end_ns) {
        std::vector<Arrival> arrivals;
        for (;;) {
            const std::uint64_t due = board.next_due();
            const std::uint64_t t = std::min(std::max(due, now + 20'000), START + end_ns);
            if (due == BOARD_NEVER && t < START + end_ns) ADD_FAILURE() << "a running board with nothing due";
            board.advance_to(t);
            now = t;
            ++wakes;
            std::uint8_t bytes[64];
            for (std::size_t n; (n = board.uart_take(bytes, sizeof bytes)) > 0;)
                for (std::size_t i = 0; i < n; ++i) arrivals.push_back({t - START, static_cast<char>(bytes[i])});
            if (t >= START + end_ns) return arrivals;
        }
    }

    static std::string text(const std::vector<Arrival>& arrivals) {
        std::string s;
        for (const Arrival& a : arrivals) s += a.byte;
        return s;
    }

    Target target{*find_part("G2553")};
    Board board;
    std::uint64_t now = START;
    int wakes = 0;
};

}  // namespace

TEST_F(VirtualBoard, WatchdogResetsTheChipAndAWrongPasswordToo) {
    start("watchdog");
    const std::vector<Arrival> out = run_until(300 * MS);
    ASSERT_EQ(text(out), "PWWWWH");
    // 32768 SMCLK cycles at the calibrated 1 MHz.
    for (int k : {1, 2, 4}) EXPECT_NEAR(static_cast<double>(out[k].ns - out[k - 1].ns) / MS, 32.768, 0.1) << k;
    EXPECT_LT(out[3].ns - out[2].ns, 3 * MS) << "the wrong password resets at once";
    EXPECT_EQ(board.next_due(), BOARD_NEVER) << "held watchdog, LPM3, nothing else running";
}

TEST_F(VirtualBoard, TimerInterruptsComeAtTheirPeriod) {
    start("timers");
    const std::vector<Arrival> out = run_until(1'010 * MS);
    std::vector<std::uint64_t> a, b;
    for (const Arrival& x : out) (x.byte == 'A' ? a : b).push_back(x.ns);
    ASSERT_EQ(a.size(), 10u) << text(out);
    ASSERT_EQ(b.size(), 7u) << text(out);
    const std::uint64_t a_period = 3277 * 1'000'000'000ull / 32768;
    for (std::size_t k = 1; k < a.size(); ++k) EXPECT_NEAR(static_cast<double>(a[k] - a[k - 1]), a_period, 30'000);
    for (std::size_t k = 1; k < b.size(); ++k) EXPECT_NEAR(static_cast<double>(b[k] - b[k - 1]), 130 * MS, 30'000);
    EXPECT_NEAR(static_cast<double>(b[0]), 130 * MS + 1.04 * MS, 0.2 * MS);
    // Asleep, woken only for its events: two a timer period, the end of each byte, a few CPU runs.
    EXPECT_LT(wakes, 120);
}

TEST_F(VirtualBoard, UartPaceAndEcho) {
    start("uart");
    EXPECT_EQ(board.uart_baud(), 0u) << "not set up yet";
    std::vector<Arrival> out = run_until(200 * MS);
    EXPECT_EQ(board.uart_baud(), 9597u);
    ASSERT_EQ(out.size(), 100u);
    EXPECT_EQ(text(out).substr(0, 12), "012345678901");
    EXPECT_NEAR(static_cast<double>(out[99].ns - out[0].ns) / 99, 1.042 * MS, 0.001 * MS);

    const std::uint8_t hello[] = {'h', 'e', 'l', 'l', 'o'};
    board.set_host_baud(9600);
    board.uart_send(hello, sizeof hello);
    EXPECT_EQ(board.next_due(), START + 200 * MS + 1'042'000) << "the first byte is in at the board's pace";
    out = run_until(220 * MS);
    EXPECT_EQ(text(out), "hello");

    EXPECT_EQ(one_note(board, "ADC10"), "") << "touched twice: one note";
}

TEST_F(VirtualBoard, BlankFlashHoldsTheCpuAndHaltStopsTheBoard) {
    board.start(target, START);
    EXPECT_TRUE(board.running());
    EXPECT_EQ(one_note(board, "blank"), "");
    // The watchdog still resets a held chip; the reason is not given again.
    run_until(100 * MS);
    EXPECT_TRUE(board.take_notes().empty());
    EXPECT_EQ(board.uart_baud(), 0u);
    board.halt();
    EXPECT_FALSE(board.running());
    EXPECT_EQ(board.next_due(), BOARD_NEVER);
}

TEST_F(VirtualBoard, AFetchFromThePeripheralsRestartsAndThePinOscillatorIsNamed) {
    start("restart");
    EXPECT_EQ(text(run_until(100 * MS)), "PRR0H");
    EXPECT_FALSE(board.take_notes().empty());
    start("restart");  // a new start tells all again
    EXPECT_EQ(text(run_until(100 * MS)), "PRR0H");
    const std::vector<std::string> notes = board.take_notes();
    const char* expected[] = {
        "The virtual board's CPU fetched an instruction from 0x0170, among the peripheral registers: a PUC restarts "
        "the firmware, as on the chip",
        "The virtual board does not model Timer_A clocked from a pin (TACLK or INCLK), first used at 0x0160: nothing "
        "drives the pin, and the timer does not count",
        "The virtual board does not model the pin oscillator (PxSEL2 without PxSEL, for capacitive touch), first used "
        "at 0x0160: its pins do not oscillate, and a timer clocked from them does not count",
    };
    ASSERT_EQ(notes.size(), std::size(expected)) << ::testing::PrintToString(notes);
    for (std::size_t k = 0; k < notes.size(); ++k) EXPECT_EQ(notes[k], expected[k]);
}

// Assembled here, no clang needed: each port's handler logs its number at R15.
TEST(BoardInterrupts, PortsAtOnceTimer1AndClocksInAnAssembledProgram) {
    MemoryImage image;
    const auto put = [&image](std::uint32_t at, const std::vector<std::uint16_t>& words) {
        std::uint8_t previous;
        for (std::uint16_t w : words)
            for (int shift : {0, 8}) image.put(at++, static_cast<std::uint8_t>(w >> shift), previous);
    };
    const auto handler = [](unsigned constant, unsigned as, std::uint16_t clear) {
        return std::vector<std::uint16_t>{two(MOV, constant, as, 15, 1, true), 0, two(ADD, CG, INDEXED, 15),
                                          two(MOV, CG, REG, SR, 1, true), clear, one(RETI, REG, 0)};
    };
    put(0xC000, {two(MOV, PC, AUTOINC, SP), 0x0400, two(MOV, PC, AUTOINC, 15), 0x0200, two(BIS, PC, AUTOINC, SR),
                 SR_GIE | SR_CPUOFF});  // LPM0
    put(0xC100, handler(CG, INDEXED, 0x0023));   // logs #1
    put(0xC120, handler(CG, INDIRECT, 0x002B));  // logs #2
    put(0xC140, handler(SR, INDIRECT, 0x0180));  // logs #4 and stops Timer1_A
    put(0xFFE4, {0xC100, 0xC120});
    put(0xFFFA, {0xC140});
    put(0xFFFE, {0xC000});
    Target target{*find_part("G2553")};
    std::string error;
    ASSERT_EQ(target.program(image, error), 0) << error;
    Board board;
    board.start(target, 0);
    board.advance_to(50'000);
    board.debug_write(0x0000, 0x01, true);  // IE1: WDTIE, nothing while the watchdog is one
    EXPECT_EQ(board.debug_read(0x0000, true), 0x01);
    for (std::uint16_t at : {0x0024, 0x002C, 0x0022, 0x002A}) board.debug_write(at, 0x0100, false);  // IE, then IFG
    EXPECT_EQ(board.debug_read(0x0024, false), 0x0100);
    EXPECT_EQ(board.debug_read(0x0026, false), 0) << "the high byte went to address + 1 alone";
    board.advance_to(100'000);
    EXPECT_EQ(board.debug_register(15), 0x0202);
    EXPECT_EQ(board.debug_read(0x0200, false), 0x0102);
    // Asleep, next due at the watchdog's time-out, which SMCLK / 8 puts 8 times as far.
    const std::uint64_t due = board.next_due() - 100'000;
    board.debug_write(0x0058, 0x06, true);  // BCSCTL2: DIVS /8
    EXPECT_NEAR(static_cast<double>(board.next_due() - 100'000), 8.0 * due, 8'000.0);
    for (auto [at, value] : {std::pair{0x0192, 9}, {0x0182, 0x0010}, {0x0180, 0x0210}}) board.debug_write(at, value, false);
    board.advance_to(300'000);
    EXPECT_EQ(board.debug_register(15), 0x0203);
    EXPECT_EQ(board.debug_read(0x0202, true), 4);

    // LFXT1 on an external clock nothing drives: OFIFG comes back at each look at IFG1.
    board.debug_write(0x0053, 0x30, true);
    board.debug_write(0x0002, 0, true);
    EXPECT_EQ(board.debug_read(0x0002, true) & 0x02, 0x02);

    board.take_notes();
    board.debug_write(0x0160, 0x0010, false);  // TA0CTL: up mode on TACLK
    EXPECT_EQ(one_note(board, "Timer_A clocked from a pin"), "");
    board.debug_write(0x0041, 0x01, true);
    EXPECT_EQ(one_note(board, "the pin oscillator"), "");

    board.halt();
    image = MemoryImage{};
    put(0xC200, {0x0012});
    ASSERT_EQ(target.program(image, error), 0) << error;
    EXPECT_EQ(board.debug_read(0xC200, true), 0xFF);
    board.load_flash(target);
    EXPECT_EQ(board.debug_read(0xC200, true), 0x12);
    board.debug_puc();
    EXPECT_EQ(board.debug_read(0x0000, true), 0) << "a PUC clears IE1";
}

// One MOD step from a calibrated setting stays within 1%.
TEST(TargetCalibration, SegmentAOfAFreshG2553HoldsTheDcoConstantsUntilErased) {
    Target g2553(*find_part("G2553"));
    for (const auto& [caldco, hz] : {std::pair{0x10F8u, 16'000'000u}, {0x10FAu, 12'000'000u}, {0x10FCu, 8'000'000u},
                                    {0x10FEu, 1'000'000u}}) {
        BasicClock clock;
        clock.reset(true);
        clock.write(BCSCTL1_ADDRESS, static_cast<std::uint8_t>(g2553.byte_at(caldco + 1)));
        const int dcoctl = g2553.byte_at(caldco);
        for (int step : {0, -1, 1}) {
            clock.write(DCOCTL_ADDRESS, static_cast<std::uint8_t>(dcoctl + step));
            EXPECT_NEAR(clock.dco_hz(), hz, step ? hz / 100 : 0) << hz << " " << step;
        }
    }
    EXPECT_EQ(g2553.byte_at(0x10F7), 0xFF);
    std::string why;
    g2553.set_segment_a_unlocked(true);
    ASSERT_EQ(g2553.erase_segment(0x10C0, why), 0) << why;
    EXPECT_EQ(g2553.byte_at(0x10FF), 0xFF);
    Target f149(*find_part("F149"));
    EXPECT_EQ(f149.byte_at(0x10FF), 0xFF);
    MemoryImage image;
    std::uint8_t previous;
    for (std::uint16_t at : {0xC000, 0xC200}) image.put(at, 0x12, previous);
    ASSERT_EQ(g2553.program(image, why), 0) << why;
    ASSERT_EQ(g2553.erase_segment(0xC1FF, why), 0) << why;
    EXPECT_EQ(g2553.byte_at(0xC000), 0xFF);
    EXPECT_EQ(g2553.byte_at(0xC200), 0x12);
}
