// The watchdog timer+ of the MSP430G2xx at WDTCTL (0x0120): in watchdog mode its time-out resets
// the chip (a PUC, with WDTIFG set); in interval mode it sets WDTIFG for its interrupt. Every
// write must carry the password 0x5A in its upper byte, or the chip resets.
#pragma once

#include <cstdint>

#include "chip/clock.h"
#include "chip/sfr.h"

inline constexpr std::uint16_t WDTCTL_ADDRESS = 0x0120;
inline constexpr std::uint16_t WDTPW = 0x5A00;
inline constexpr std::uint8_t WDTHOLD = 0x80;
inline constexpr std::uint8_t WDTTMSEL = 0x10;
inline constexpr std::uint8_t WDTCNTCL = 0x08;
inline constexpr std::uint8_t WDTSSEL = 0x04;

class Watchdog {
public:
    explicit Watchdog(Sfr& sfr) : sfr_(sfr) {}

    // Watchdog mode on SMCLK with the longest interval, counting from zero.
    void reset();

    std::uint16_t read() const { return static_cast<std::uint16_t>(0x6900 | control_); }
    // False when the password is wrong (a byte write never carries it): the chip must reset.
    bool write(std::uint16_t value, bool byte);

    bool interval_mode() const { return (control_ & WDTTMSEL) != 0; }

    // Board time until the next time-out.
    std::uint64_t ns_to_event(const ClockRates& clocks) const;
    // Counts dt_ns of the clock; true when a time-out in watchdog mode asks for a reset.
    bool advance(std::uint64_t dt_ns, const ClockRates& clocks);

private:
    std::uint32_t clock_hz(const ClockRates& clocks) const;
    std::uint32_t interval() const;

    Sfr& sfr_;
    std::uint8_t control_ = 0;
    std::uint16_t counter_ = 0;
    Ticker ticker_;
};
