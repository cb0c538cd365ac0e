// The basic clock module+ of the MSP430G2xx: the DCO, the VLO and the LFXT1 oscillator, and the
// three clocks made of them (MCLK for the CPU, SMCLK and ACLK for the peripherals), switched off
// as the status register's low-power bits say.
//
// Board time is counted in nanoseconds; a Ticker turns a span of it into edges of a clock without
// losing the fractions in between, so a clock keeps its exact rate over any number of steps.
#pragma once

#include <cstdint>
#include <limits>

inline constexpr std::uint64_t NS_PER_SECOND = 1'000'000'000;
inline constexpr std::uint64_t NO_EVENT = std::numeric_limits<std::uint64_t>::max();

inline constexpr std::uint16_t BCSCTL3_ADDRESS = 0x0053;
inline constexpr std::uint16_t DCOCTL_ADDRESS = 0x0056;
inline constexpr std::uint16_t BCSCTL1_ADDRESS = 0x0057;
inline constexpr std::uint16_t BCSCTL2_ADDRESS = 0x0058;

inline constexpr std::uint32_t VLO_HZ = 12'000;
inline constexpr std::uint32_t LFXT1_HZ = 32'768;

// The factory calibration this chip carries in information segment A: the BCSCTL1 and DCOCTL
// values that give each frequency, in the order of their addresses from 0x10F8 up.
struct DcoCalibration {
    std::uint32_t hz;
    std::uint8_t bcsctl1, dcoctl;
};
inline constexpr std::uint16_t CALIBRATION_ADDRESS = 0x10F8;
inline constexpr DcoCalibration DCO_CALIBRATIONS[] = {
    {16'000'000, 0x8F, 0x74},
    {12'000'000, 0x8E, 0x7B},
    {8'000'000, 0x8D, 0x6B},
    {1'000'000, 0x87, 0x26},
};

// The rates of the peripheral clocks, each as its source and divider make it (a module that
// requests its clock gets it at that rate), and whether the low-power bits let it run.
struct ClockRates {
    std::uint32_t mclk_hz = 0;
    std::uint32_t smclk_hz = 0;
    std::uint32_t aclk_hz = 0;
    bool smclk_on = false;
    bool aclk_on = false;

    std::uint32_t smclk() const { return smclk_on ? smclk_hz : 0; }
    std::uint32_t aclk() const { return aclk_on ? aclk_hz : 0; }
};

class BasicClock {
public:
    void reset(bool power_on);

    std::uint8_t read(std::uint16_t address) const;
    void write(std::uint16_t address, std::uint8_t value);

    // The DCO's frequency for its present RSEL, DCO and MOD settings.
    std::uint32_t dco_hz() const;
    ClockRates rates(std::uint16_t status) const;
    // LFXT1 set to a source that is not there (an external clock on XIN).
    bool lfxt1_fault() const;

private:
    std::uint32_t lfxt1_hz() const;

    std::uint8_t dcoctl_ = 0x60;
    std::uint8_t bcsctl1_ = 0x87;
    std::uint8_t bcsctl2_ = 0;
    std::uint8_t bcsctl3_ = 0x05;
};

// Edges of a clock in spans of board time.
class Ticker {
public:
    // The number of edges in the next dt_ns at hz.
    std::uint64_t advance(std::uint64_t dt_ns, std::uint32_t hz) {
        phase_ += dt_ns * hz;
        const std::uint64_t edges = phase_ / NS_PER_SECOND;
        phase_ %= NS_PER_SECOND;
        return edges;
    }
    // The shortest span after which advance() would have given `edges` edges; NO_EVENT when the
    // clock stands still.
    std::uint64_t ns_until(std::uint64_t edges, std::uint32_t hz) const {
        if (hz == 0) return NO_EVENT;
        if (edges == 0) return 0;
        const std::uint64_t needed = edges * NS_PER_SECOND - phase_;
        return (needed + hz - 1) / hz;
    }
    void clear() { phase_ = 0; }

private:
    std::uint64_t phase_ = 0;  // hz * ns left over, below one edge
};
