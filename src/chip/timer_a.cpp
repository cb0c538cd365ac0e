#include "chip/timer_a.h"

#include <algorithm>

namespace {

constexpr std::uint16_t TAR_OFFSET = 0x10;
constexpr std::uint16_t TACCR0_OFFSET = 0x12;

}  // namespace

void TimerA::reset() {
    ctl_ = 0;
    tar_ = 0;
    for (int n = 0; n < 3; ++n) cctl_[n] = ccr_[n] = 0;
    down_ = false;
    prescale_ = 0;
    ticker_.clear();
}

std::uint16_t TimerA::taiv_source() const {
    for (int n = 1; n < 3; ++n) {
        if ((cctl_[n] & (CCIE | CCIFG)) == (CCIE | CCIFG)) return static_cast<std::uint16_t>(2 * n);
    }
    return (ctl_ & (TAIE | TAIFG)) == (TAIE | TAIFG) ? 0x0A : 0;
}

std::uint16_t TimerA::read(std::uint16_t address) {
    if (address == at_.taiv) {
        const std::uint16_t source = taiv_source();
        if (source == 0x0A) {
            ctl_ &= ~TAIFG;
        } else if (source != 0) {
            cctl_[source / 2] &= ~CCIFG;
        }
        return source;
    }
    const std::uint16_t offset = address - at_.tactl;
    if (offset == 0) return ctl_;
    if (offset < 8) return cctl_[(offset - 2) / 2];
    if (offset == TAR_OFFSET) return tar_;
    if (offset >= TACCR0_OFFSET) return ccr_[(offset - TACCR0_OFFSET) / 2];
    return 0;
}

void TimerA::write(std::uint16_t address, std::uint16_t value) {
    if (address == at_.taiv) return;
    const std::uint16_t offset = address - at_.tactl;
    if (offset == 0) {
        ctl_ = value & ~TACLR;
        if (value & TACLR) {
            tar_ = 0;
            down_ = false;
            prescale_ = 0;
        }
    } else if (offset < 8) {
        cctl_[(offset - 2) / 2] = value;
    } else if (offset == TAR_OFFSET) {
        tar_ = value;
    } else if (offset >= TACCR0_OFFSET) {
        ccr_[(offset - TACCR0_OFFSET) / 2] = value;
    }
}

std::uint32_t TimerA::clock_hz(const ClockRates& clocks) const {
    if (mode() == 0) return 0;
    switch (ctl_ & (TASSEL_ACLK | TASSEL_SMCLK)) {
        case TASSEL_ACLK: return clocks.aclk();
        case TASSEL_SMCLK: return clocks.smclk();
        default: return 0;  // TACLK and INCLK come from pins that nothing drives
    }
}

std::uint32_t TimerA::counts_to_event() const {
    // The run of plain single steps ahead, before the counter wraps or turns.
    std::uint32_t run;
    if (down_) {
        run = tar_;
    } else if (mode() == MC_CONTINUOUS) {
        run = 0xFFFFu - tar_;
    } else {
        run = tar_ < ccr_[0] ? ccr_[0] - tar_ : 0u;
    }
    std::uint32_t counts = run + 1;
    // Counting down, reaching zero sets TAIFG.
    if (down_ && tar_ > 0) counts = tar_;
    for (int n = 0; n < 3; ++n) {
        // A channel in capture mode waits for an input signal, which nothing drives here.
        if (cctl_[n] & CAP) continue;
        const std::uint32_t distance = down_ ? tar_ - ccr_[n] : ccr_[n] - tar_;
        if (distance >= 1 && distance <= run) counts = std::min(counts, distance);
    }
    return counts;
}

void TimerA::step() {
    switch (mode()) {
        case MC_UP:
            if (tar_ >= ccr_[0]) {
                if (tar_ == ccr_[0]) ctl_ |= TAIFG;
                tar_ = 0;
            } else {
                ++tar_;
            }
            break;
        case MC_CONTINUOUS:
            if (++tar_ == 0) ctl_ |= TAIFG;
            break;
        default:  // up/down
            if (down_) {
                if (tar_ == 0) {
                    down_ = false;
                    if (ccr_[0] > 0) ++tar_;
                } else if (--tar_ == 0) {
                    ctl_ |= TAIFG;
                }
            } else if (tar_ >= ccr_[0]) {
                down_ = true;
                if (tar_ > 0) --tar_;
            } else {
                ++tar_;
            }
            break;
    }
    for (int n = 0; n < 3; ++n) {
        if (tar_ == ccr_[n] && !(cctl_[n] & CAP)) cctl_[n] |= CCIFG;
    }
}

void TimerA::count(std::uint64_t counts) {
    while (counts > 0) {
        // Up mode with TACCR0 at zero holds the counter.
        if (mode() == MC_UP && ccr_[0] == 0 && tar_ == 0) return;
        const std::uint32_t to_event = counts_to_event();
        if (counts < to_event) {
            tar_ = static_cast<std::uint16_t>(down_ ? tar_ - counts : tar_ + counts);
            return;
        }
        tar_ = static_cast<std::uint16_t>(down_ ? tar_ - (to_event - 1) : tar_ + (to_event - 1));
        step();
        counts -= to_event;
    }
}

std::uint64_t TimerA::ns_to_event(const ClockRates& clocks) const {
    const std::uint32_t hz = clock_hz(clocks);
    if (hz == 0 || (mode() == MC_UP && ccr_[0] == 0 && tar_ == 0)) return NO_EVENT;
    const std::uint64_t edges = std::uint64_t{counts_to_event()} * divider() - prescale_;
    return ticker_.ns_until(edges, hz);
}

void TimerA::advance(std::uint64_t dt_ns, const ClockRates& clocks) {
    const std::uint32_t hz = clock_hz(clocks);
    if (hz == 0) return;
    const std::uint64_t edges = ticker_.advance(dt_ns, hz) + prescale_;
    prescale_ = static_cast<std::uint32_t>(edges % divider());
    count(edges / divider());
}
