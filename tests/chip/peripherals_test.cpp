#include <gtest/gtest.h>

#include "chip/clock.h"
#include "chip/cpu.h"
#include "chip/ports.h"
#include "chip/sfr.h"
#include "chip/timer_a.h"
#include "chip/usci_uart.h"
#include "chip/watchdog.h"

namespace {

constexpr std::uint64_t US = 1000;

ClockRates smclk_at(std::uint32_t hz) {
    ClockRates r;
    r.mclk_hz = r.smclk_hz = hz, r.aclk_hz = LFXT1_HZ, r.smclk_on = r.aclk_on = true;
    return r;
}

}  // namespace

TEST(Clock, DcoSettingsAndLowPowerModes) {
    BasicClock clock;
    clock.reset(true);
    // Near 1.1 MHz after reset, as a typical chip's.
    EXPECT_GT(clock.dco_hz(), 800'000u);
    EXPECT_LT(clock.dco_hz(), 1'500'000u);
    const auto hz = [&](int rsel, int dco, int mod) {
        clock.write(BCSCTL1_ADDRESS, static_cast<std::uint8_t>(0x80 | rsel));
        clock.write(DCOCTL_ADDRESS, static_cast<std::uint8_t>(dco << 5 | mod));
        return clock.dco_hz();
    };
    for (int rsel = 0; rsel < 16; ++rsel) {
        if (rsel > 0) {
            EXPECT_GT(hz(rsel, 3, 0), hz(rsel - 1, 3, 0)) << rsel;
        }
        for (int dco = 1; dco < 8; ++dco) EXPECT_GT(hz(rsel, dco, 0), hz(rsel, dco - 1, 16)) << rsel << " " << dco;
        EXPECT_GT(hz(rsel, 3, 16), hz(rsel, 3, 0));
    }

    clock.write(BCSCTL2_ADDRESS, 0x02);  // SMCLK = DCO / 2
    clock.write(BCSCTL1_ADDRESS, 0x80 | 0x30 | (DCO_CALIBRATIONS[3].bcsctl1 & 0x0F));  // ACLK / 8
    clock.write(DCOCTL_ADDRESS, DCO_CALIBRATIONS[3].dcoctl);
    const ClockRates active = clock.rates(0);
    EXPECT_EQ(active.mclk_hz, 1'000'000u);
    EXPECT_EQ(active.smclk(), 500'000u);
    EXPECT_EQ(active.aclk(), LFXT1_HZ / 8);
    const ClockRates lpm3 = clock.rates(SR_CPUOFF | SR_SCG0 | SR_SCG1);
    EXPECT_EQ(lpm3.smclk(), 0u);
    EXPECT_EQ(lpm3.smclk_hz, 500'000u) << "a module that requests SMCLK still gets it";
    EXPECT_EQ(lpm3.aclk(), LFXT1_HZ / 8);
    EXPECT_EQ(clock.rates(SR_CPUOFF | SR_SCG0 | SR_SCG1 | SR_OSCOFF).aclk(), 0u);
    // OSCOFF leaves LFXT1 running while SMCLK runs from it.
    clock.write(BCSCTL2_ADDRESS, 0x08);
    EXPECT_EQ(clock.rates(SR_CPUOFF | SR_OSCOFF).aclk(), LFXT1_HZ / 8);

    // An external clock that is not there is a fault; MCLK stays on the DCO.
    clock.write(BCSCTL3_ADDRESS, 0x20);
    EXPECT_EQ(clock.rates(0).aclk(), VLO_HZ / 8);
    EXPECT_FALSE(clock.lfxt1_fault());
    clock.write(BCSCTL3_ADDRESS, 0x30);
    clock.write(BCSCTL2_ADDRESS, 0xC0);
    EXPECT_TRUE(clock.lfxt1_fault());
    EXPECT_EQ(clock.read(BCSCTL3_ADDRESS) & 1, 1);
    EXPECT_EQ(clock.rates(0).mclk_hz, 1'000'000u);
}

TEST(Clock, TickerKeepsTheExactRateOverAnySteps) {
    Ticker ticker;
    std::uint64_t edges = 0;
    for (std::uint64_t t = 0; t < NS_PER_SECOND / 1000; t += 7) edges += ticker.advance(7, LFXT1_HZ);
    EXPECT_EQ(edges, 32u);
    Ticker fast;
    const std::uint64_t wait = fast.ns_until(5, 3'000'000);
    EXPECT_EQ(fast.advance(wait - 1, 3'000'000), 4u);
    EXPECT_EQ(fast.advance(1, 3'000'000), 1u);
    EXPECT_EQ(fast.ns_until(1, 0), NO_EVENT);
}

TEST(Watchdog, PasswordHoldIntervalAndTimeOut) {
    Sfr sfr;
    Watchdog wdt(sfr);
    wdt.reset();
    const ClockRates clocks = smclk_at(1'000'000);
    EXPECT_EQ(wdt.read(), 0x6900);
    EXPECT_EQ(wdt.ns_to_event(clocks), 32768 * US);
    EXPECT_FALSE(wdt.advance(32767 * US, clocks));
    EXPECT_TRUE(wdt.advance(US, clocks));
    EXPECT_EQ(sfr.ifg1 & WDTIFG, WDTIFG);

    EXPECT_FALSE(wdt.write(0x6980, false)) << "the read-back value is not the password";
    EXPECT_FALSE(wdt.write(0x5A80, true)) << "a byte write cannot carry the password";
    EXPECT_TRUE(wdt.write(WDTPW | WDTHOLD, false));
    EXPECT_EQ(wdt.ns_to_event(clocks), NO_EVENT);
    EXPECT_FALSE(wdt.advance(NS_PER_SECOND, clocks));

    // Interval mode, /64 on SMCLK.
    sfr.ifg1 = 0;
    ASSERT_TRUE(wdt.write(WDTPW | WDTTMSEL | WDTCNTCL | 3, false));
    EXPECT_FALSE(wdt.advance(63 * US, clocks));
    EXPECT_EQ(sfr.ifg1, 0);
    EXPECT_FALSE(wdt.advance(US, clocks));
    EXPECT_EQ(sfr.ifg1, WDTIFG);
    ClockRates sleeping = clocks;
    sleeping.smclk_on = false;
    EXPECT_EQ(wdt.ns_to_event(sleeping), NO_EVENT);
}

TEST(TimerA, ModesFlagsAndTaiv) {
    const ClockRates clocks = smclk_at(1'000'000);
    TimerA timer(TIMER0_A3);
    const std::uint16_t tactl = TIMER0_A3.tactl, cctl1 = tactl + 4, tar = tactl + 0x10, ccr0 = tactl + 0x12;
    // Up mode to 9, TACCR1 at 4; TACCR2, at 0, captures instead: the wrap to 0 leaves it be.
    for (auto [at, value] : {std::pair{ccr0, 9}, {ccr0 + 2, 4}, {cctl1, CCIE}, {cctl1 + 2, CAP},
                             {tactl, TASSEL_SMCLK | MC_UP | TAIE}})
        timer.write(static_cast<std::uint16_t>(at), static_cast<std::uint16_t>(value));
    EXPECT_EQ(timer.ns_to_event(clocks), 4 * US);
    timer.advance(4 * US, clocks);
    EXPECT_TRUE(timer.taiv_pending());
    EXPECT_EQ(timer.ns_to_event(clocks), 5 * US);
    timer.advance(5 * US, clocks);
    EXPECT_EQ(timer.read(tar), 9);
    EXPECT_EQ(timer.read(tactl + 2) & CCIFG, CCIFG);
    EXPECT_FALSE(timer.ccr0_pending()) << "TACCR0's interrupt is not enabled";
    timer.advance(US, clocks);
    EXPECT_EQ(timer.read(tar), 0);
    EXPECT_EQ(timer.read(cctl1 + 2) & CCIFG, 0);
    EXPECT_EQ(timer.read(TIMER0_A3.taiv), 2);
    EXPECT_EQ(timer.read(TIMER0_A3.taiv), 0x0A);
    EXPECT_EQ(timer.read(TIMER0_A3.taiv), 0);
    timer.advance(100 * US, clocks);
    EXPECT_EQ(timer.read(tar), 0);

    timer.write(tactl, TASSEL_SMCLK | MC_UPDOWN | 0x0080 | TACLR);
    timer.read(TIMER0_A3.taiv);
    timer.write(ccr0, 5);
    std::uint64_t elapsed = 0;
    for (int turns = 0; turns < 2; ++turns) {
        while ((timer.read(tactl) & TAIFG) == 0) {
            const std::uint64_t wait = timer.ns_to_event(clocks);
            timer.advance(wait, clocks);
            elapsed += wait;
        }
        EXPECT_EQ(elapsed, (turns + 1) * 40 * US);
        timer.write(tactl, timer.read(tactl) & ~TAIFG);
    }

    timer.write(tactl, TASSEL_SMCLK | MC_CONTINUOUS | TACLR);
    EXPECT_EQ(timer.ns_to_event(clocks), 4 * US) << "TACCR1 at 4 is passed on the way";
    timer.advance(65535 * US, clocks);
    EXPECT_EQ(timer.read(tactl) & TAIFG, 0);
    timer.advance(US, clocks);
    EXPECT_EQ(timer.read(tactl) & TAIFG, TAIFG);
    timer.write(tactl, TASSEL_SMCLK);
    EXPECT_EQ(timer.ns_to_event(clocks), NO_EVENT);
    timer.write(tactl, MC_UP);
    EXPECT_EQ(timer.ns_to_event(clocks), NO_EVENT);

    // TACLR on the way down and halfway through a /8 starts TAR, direction and divider over.
    timer.write(ccr0, 3);
    timer.write(tactl, TASSEL_SMCLK | MC_UPDOWN | 0x00C0 | TACLR);
    timer.advance(36 * US, clocks);
    EXPECT_EQ(timer.read(tar), 2);
    timer.write(tactl, TASSEL_SMCLK | MC_UPDOWN | 0x00C0 | TACLR);
    for (auto [us, count] : {std::pair{0u, 0}, {7u, 0}, {1u, 1}}) {
        timer.advance(us * US, clocks);
        EXPECT_EQ(timer.read(tar), count) << us;
    }
    timer.write(tactl, TASSEL_SMCLK | MC_CONTINUOUS | TACLR);
    timer.advance(US / 2, clocks);
    timer.reset();
    timer.write(tactl, TASSEL_SMCLK | MC_CONTINUOUS);
    timer.advance(US / 2, clocks);
    EXPECT_EQ(timer.read(tar), 0);
}

TEST(UsciUart, BitRatesFramesAndTheHostLine) {
    Sfr sfr;
    Ports ports;
    UsciUart uart(sfr, ports);
    sfr.reset(true), ports.reset(true), uart.reset();
    const auto set = [&](int ctl0, int br, int mctl) {
        for (auto [at, value] : {std::pair{UCA0CTL1_ADDRESS, UCSSEL_SMCLK | UCSWRST}, {UCA0CTL0_ADDRESS, ctl0},
                                 {UCA0BR0_ADDRESS, br & 0xFF}, {UCA0BR1_ADDRESS, br >> 8}, {UCA0MCTL_ADDRESS, mctl},
                                 {UCA0CTL1_ADDRESS, UCSSEL_SMCLK}})
            uart.write(at, static_cast<std::uint8_t>(value));
    };
    EXPECT_EQ(uart.baud(smclk_at(1'000'000)), 0u) << "held in reset";
    // The user's guide's settings for 9600 baud.
    for (const auto& [br, mctl, smclk, baud] : {std::tuple{104, 1 << 1, 1'000'000u, 9597u},
                                                {104, 3 << 4 | UCOS16, 16'000'000u, 9598u},
                                                {6, 8 << 4 | UCOS16, 1'000'000u, 9615u}}) {
        set(0, br, mctl);
        EXPECT_EQ(uart.baud(smclk_at(smclk)), baud);
    }

    set(0x80 | 0x10 | 0x08, 104, 0);
    ports.write(0x26, 0x06);
    ports.write(0x41, 0x06);
    const ClockRates clocks = smclk_at(1'000'000);
    uart.write(UCA0TXBUF_ADDRESS, 'a');
    EXPECT_EQ(sfr.ifg2 & UCA0TXIFG, UCA0TXIFG) << "the first byte goes straight to the shift register";
    uart.write(UCA0TXBUF_ADDRESS, 'b');
    EXPECT_EQ(sfr.ifg2 & UCA0TXIFG, 0);
    EXPECT_EQ(uart.ns_to_event(clocks), 11 * 104 * US);
    uart.advance(11 * 104 * US, clocks);
    EXPECT_EQ(sfr.ifg2 & UCA0TXIFG, UCA0TXIFG);
    uart.advance(11 * 104 * US, clocks);
    std::uint8_t out[4];
    ASSERT_EQ(uart.host_take(out, sizeof out), 2u);
    EXPECT_EQ(std::string(out, out + 2), "ab");

    const std::uint8_t in[] = {'x', 'y'};
    uart.host_send(in, 2);
    uart.advance(2 * 11 * 104 * US, clocks);
    EXPECT_EQ(uart.read(UCA0STAT_ADDRESS) & UCOE, UCOE);
    EXPECT_EQ(uart.read(UCA0RXBUF_ADDRESS), 'y');
    EXPECT_EQ(sfr.ifg2 & UCA0RXIFG, 0);
    EXPECT_EQ(uart.read(UCA0STAT_ADDRESS) & UCOE, 0);

    // The frame makes 9615 baud; a host line 5% off still passes.
    uart.set_host_baud(9160);
    uart.host_send(in, 1);
    uart.advance(11 * 104 * US, clocks);
    EXPECT_EQ(sfr.ifg2 & UCA0RXIFG, UCA0RXIFG);
    EXPECT_EQ(uart.take_mismatch(), 0u);
    uart.read(UCA0RXBUF_ADDRESS);
    uart.set_host_baud(9100);
    uart.host_send(in, 1);
    uart.write(UCA0TXBUF_ADDRESS, 'c');
    uart.advance(11 * 104 * US, clocks);
    EXPECT_EQ(sfr.ifg2 & UCA0RXIFG, 0);
    EXPECT_EQ(uart.host_take(out, sizeof out), 0u);
    EXPECT_EQ(uart.take_mismatch(), uart.baud(clocks));

    uart.set_host_baud(0);
    ports.write(0x41, 0);
    uart.host_send(in, 1);
    uart.write(UCA0TXBUF_ADDRESS, 'd');
    uart.advance(2 * 11 * 104 * US, clocks);
    EXPECT_EQ(sfr.ifg2 & UCA0RXIFG, 0);
    EXPECT_EQ(uart.host_take(out, sizeof out), 0u);
}

TEST(Ports, PinsEdgesAndReset) {
    Ports ports;
    ports.reset(true);
    // P1.3 falling-edge input without its resistor; P1.0 a rising output.
    for (auto [at, value] : {std::pair{0x25, 0x09}, {0x24, 0x08}, {0x22, 0x01}, {0x21, 0x09}})
        ports.write(static_cast<std::uint16_t>(at), static_cast<std::uint8_t>(value));
    EXPECT_EQ(ports.read(0x20), 0x01);
    EXPECT_EQ(ports.read(0x23), 0x01);
    EXPECT_TRUE(ports.pending(1));
    ports.write(0x23, 0);
    ports.write(0x27, 0x08);  // pull P1.3 up, then down: a falling edge
    EXPECT_EQ(ports.read(0x20), 0x09);
    EXPECT_EQ(ports.read(0x23), 0);
    // A write to PxIN is no edge.
    for (std::uint16_t in : {0x20, 0x28}) {
        const std::uint8_t pins = ports.read(in), flags = ports.read(in + 3);
        ports.write(in, static_cast<std::uint8_t>(~pins));
        EXPECT_EQ(ports.read(in), pins) << in;
        EXPECT_EQ(ports.read(in + 3), flags) << in;
    }
    ports.write(0x21, 0x01);
    EXPECT_EQ(ports.read(0x23), 0x08);
    EXPECT_FALSE(ports.pending(2));
    ports.write(0x26, 0x06);
    ports.write(0x41, 0x04);
    EXPECT_EQ(ports.second_function(1), 0x04);
    ports.reset(false);
    EXPECT_EQ(ports.read(0x21), 0x01);
    EXPECT_EQ(ports.read(0x24), 0x08);
    EXPECT_EQ(ports.read(0x22) | ports.read(0x23) | ports.read(0x25) | ports.read(0x41), 0);
}
