#include "chip/watchdog.h"

namespace {

constexpr std::uint32_t INTERVALS[4] = {32768, 8192, 512, 64};

}  // namespace

void Watchdog::reset() {
    control_ = 0;
    counter_ = 0;
    ticker_.clear();
}

bool Watchdog::write(std::uint16_t value, bool byte) {
    if (byte || (value & 0xFF00) != WDTPW) return false;
    control_ = static_cast<std::uint8_t>(value & ~WDTCNTCL);
    if (value & WDTCNTCL) {
        counter_ = 0;
        ticker_.clear();
    }
    return true;
}

std::uint32_t Watchdog::interval() const { return INTERVALS[control_ & 3]; }

std::uint32_t Watchdog::clock_hz(const ClockRates& clocks) const {
    if (control_ & WDTHOLD) return 0;
    // In watchdog mode its clock cannot be switched off: the module keeps requesting it through any
    // low-power mode.
    if (!interval_mode()) return (control_ & WDTSSEL) ? clocks.aclk_hz : clocks.smclk_hz;
    return (control_ & WDTSSEL) ? clocks.aclk() : clocks.smclk();
}

std::uint64_t Watchdog::ns_to_event(const ClockRates& clocks) const {
    return ticker_.ns_until(interval() - counter_ % interval(), clock_hz(clocks));
}

bool Watchdog::advance(std::uint64_t dt_ns, const ClockRates& clocks) {
    const std::uint32_t hz = clock_hz(clocks);
    if (hz == 0) return false;
    std::uint64_t edges = ticker_.advance(dt_ns, hz);
    bool timed_out = false;
    while (edges > 0) {
        const std::uint32_t left = interval() - counter_ % interval();
        if (edges < left) {
            counter_ = static_cast<std::uint16_t>(counter_ + edges);
            break;
        }
        edges -= left;
        counter_ = static_cast<std::uint16_t>(counter_ + left);
        sfr_.ifg1 |= WDTIFG;
        if (!interval_mode()) timed_out = true;
    }
    return timed_out;
}
