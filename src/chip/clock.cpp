#include "chip/clock.h"

#include "chip/cpu.h"

namespace {

// DCOCTL.
constexpr int DCO_SHIFT = 5;
constexpr std::uint8_t MOD_MASK = 0x1F;
// BCSCTL1.
constexpr std::uint8_t XTS = 0x40;
constexpr int DIVA_SHIFT = 4;
constexpr std::uint8_t RSEL_MASK = 0x0F;
// BCSCTL2.
constexpr int SELM_SHIFT = 6;
constexpr int DIVM_SHIFT = 4;
constexpr std::uint8_t SELS = 0x08;
constexpr int DIVS_SHIFT = 1;
// BCSCTL3.
constexpr int LFXT1S_SHIFT = 4;
constexpr std::uint8_t LFXT1OF = 0x01;

// A typical part's DCO at DCO = 3 for each RSEL, in kHz: each RSEL step is about 1.35 times the
// one below, each DCO step about 1.08 times.
constexpr double DCO3_KHZ[16] = {126,  150,  210,  300,  410,  580,  800,   1150,
                                 1600, 2300, 3400, 4250, 5800, 7800, 11250, 15250};
constexpr double DCO_STEP = 1.08;

double dco_khz(int rsel, int dco) {
    double khz = DCO3_KHZ[rsel];
    for (int step = 3; step < dco; ++step) khz *= DCO_STEP;
    for (int step = dco; step < 3; ++step) khz /= DCO_STEP;
    return khz;
}

}  // namespace

void BasicClock::reset(bool power_on) {
    dcoctl_ = 0x60;
    if (power_on) bcsctl1_ = 0x87;
    bcsctl2_ = 0;
    bcsctl3_ = 0x05;
}

std::uint8_t BasicClock::read(std::uint16_t address) const {
    switch (address) {
        case DCOCTL_ADDRESS: return dcoctl_;
        case BCSCTL1_ADDRESS: return bcsctl1_;
        case BCSCTL2_ADDRESS: return bcsctl2_;
        default: return static_cast<std::uint8_t>((bcsctl3_ & ~LFXT1OF) | (lfxt1_fault() ? LFXT1OF : 0));
    }
}

void BasicClock::write(std::uint16_t address, std::uint8_t value) {
    switch (address) {
        case DCOCTL_ADDRESS: dcoctl_ = value; break;
        case BCSCTL1_ADDRESS: bcsctl1_ = value; break;
        case BCSCTL2_ADDRESS: bcsctl2_ = value; break;
        default: bcsctl3_ = static_cast<std::uint8_t>((value & ~LFXT1OF) | (bcsctl3_ & LFXT1OF)); break;
    }
}

std::uint32_t BasicClock::dco_hz() const {
    const int rsel = bcsctl1_ & RSEL_MASK;
    for (const DcoCalibration& c : DCO_CALIBRATIONS) {
        if ((c.bcsctl1 & RSEL_MASK) == rsel && c.dcoctl == dcoctl_) return c.hz;
    }
    const int dco = dcoctl_ >> DCO_SHIFT;
    const int mod = dcoctl_ & MOD_MASK;
    const double low = dco_khz(rsel, dco);
    if (dco == 7 || mod == 0) return static_cast<std::uint32_t>(low * 1000);
    // MOD of every 32 DCO periods run at the next DCO step.
    const double high = dco_khz(rsel, dco + 1);
    return static_cast<std::uint32_t>(32000 / ((32 - mod) / low + mod / high));
}

std::uint32_t BasicClock::lfxt1_hz() const {
    if (bcsctl1_ & XTS) return 0;  // no high-frequency mode on this chip
    switch ((bcsctl3_ >> LFXT1S_SHIFT) & 3) {
        case 0: return LFXT1_HZ;
        case 2: return VLO_HZ;
        default: return 0;  // reserved, or an external clock that nothing drives
    }
}

bool BasicClock::lfxt1_fault() const { return lfxt1_hz() == 0; }

ClockRates BasicClock::rates(std::uint16_t status) const {
    const std::uint32_t dco = dco_hz();
    const std::uint32_t lfxt1 = lfxt1_hz();
    // An oscillator fault hands MCLK back to the DCO.
    const bool mclk_from_lfxt1 = (bcsctl2_ >> SELM_SHIFT) >= 2 && lfxt1 != 0;
    const bool smclk_from_lfxt1 = (bcsctl2_ & SELS) != 0;
    ClockRates r;
    r.mclk_hz = (mclk_from_lfxt1 ? lfxt1 : dco) >> ((bcsctl2_ >> DIVM_SHIFT) & 3);
    r.smclk_hz = (smclk_from_lfxt1 ? lfxt1 : dco) >> ((bcsctl2_ >> DIVS_SHIFT) & 3);
    r.aclk_hz = lfxt1 >> ((bcsctl1_ >> DIVA_SHIFT) & 3);
    const bool mclk_on = (status & SR_CPUOFF) == 0;
    r.smclk_on = (status & SR_SCG1) == 0;
    // SCG0 stops the DCO only while neither MCLK nor SMCLK runs from it, and OSCOFF stops LFXT1 only
    // while neither runs from it.
    const bool dco_on = (status & SR_SCG0) == 0 || (mclk_on && !mclk_from_lfxt1) || (r.smclk_on && !smclk_from_lfxt1);
    const bool lfxt1_on =
        (status & SR_OSCOFF) == 0 || (mclk_on && mclk_from_lfxt1) || (r.smclk_on && smclk_from_lfxt1);
    r.smclk_on = r.smclk_on && (smclk_from_lfxt1 ? lfxt1_on : dco_on);
    r.aclk_on = lfxt1_on;
    return r;
}
