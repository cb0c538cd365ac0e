// Timer_A3 of the MSP430G2xx (the chip has two: Timer0_A3 and Timer1_A3): a 16-bit counter in
// stop, up, continuous or up/down mode on ACLK or SMCLK through a divider, with three
// capture/compare registers used for compare, TAIV, and two interrupt vectors.
#pragma once

#include <cstdint>

#include "chip/clock.h"

// TACTL.
inline constexpr std::uint16_t TASSEL_ACLK = 0x0100;
inline constexpr std::uint16_t TASSEL_SMCLK = 0x0200;
inline constexpr std::uint16_t MC_UP = 0x0010;
inline constexpr std::uint16_t MC_CONTINUOUS = 0x0020;
inline constexpr std::uint16_t MC_UPDOWN = 0x0030;
inline constexpr std::uint16_t TACLR = 0x0004;
inline constexpr std::uint16_t TAIE = 0x0002;
inline constexpr std::uint16_t TAIFG = 0x0001;
// TACCTLx.
inline constexpr std::uint16_t CAP = 0x0100;
inline constexpr std::uint16_t CCIE = 0x0010;
inline constexpr std::uint16_t CCIFG = 0x0001;

struct TimerAddresses {
    std::uint16_t taiv, tactl;  // TACCTL0..2 follow TACTL, TAR and TACCR0..2 sit 0x10 above it
};
inline constexpr TimerAddresses TIMER0_A3 = {0x012E, 0x0160};
inline constexpr TimerAddresses TIMER1_A3 = {0x011E, 0x0180};

class TimerA {
public:
    explicit TimerA(TimerAddresses at) : at_(at) {}

    std::uint16_t control_address() const { return at_.tactl; }
    bool owns(std::uint16_t address) const {
        return address == at_.taiv || (address >= at_.tactl && address < at_.tactl + 0x18);
    }
    // Reading TAIV clears the flag it names.
    std::uint16_t read(std::uint16_t address);
    void write(std::uint16_t address, std::uint16_t value);

    // Every register back to zero (the timer keeps running through a PUC; a POR stops it).
    void reset();

    // The two interrupt requests: TACCR0's own, and the one that TAIV sorts out.
    bool ccr0_pending() const { return (cctl_[0] & (CCIE | CCIFG)) == (CCIE | CCIFG); }
    bool taiv_pending() const { return taiv_source() != 0; }
    // Entering TACCR0's interrupt clears its flag.
    void ccr0_accepted() { cctl_[0] &= ~CCIFG; }

    // Board time until the counter next reaches a compare value or turns around.
    std::uint64_t ns_to_event(const ClockRates& clocks) const;
    void advance(std::uint64_t dt_ns, const ClockRates& clocks);

private:
    std::uint16_t mode() const { return ctl_ & MC_UPDOWN; }
    std::uint32_t clock_hz(const ClockRates& clocks) const;
    std::uint32_t divider() const { return 1u << ((ctl_ >> 6) & 3); }
    // Counts until the counter next reaches a value worth stopping at.
    std::uint32_t counts_to_event() const;
    void count(std::uint64_t counts);
    void step();
    // 2, 4 or 10 for the pending TAIV source of the highest priority, 0 for none.
    std::uint16_t taiv_source() const;

    TimerAddresses at_;
    std::uint16_t ctl_ = 0;
    std::uint16_t tar_ = 0;
    std::uint16_t cctl_[3]{};
    std::uint16_t ccr_[3]{};
    bool down_ = false;
    std::uint32_t prescale_ = 0;  // source edges since the last count
    Ticker ticker_;
};
