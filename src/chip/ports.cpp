#include "chip/ports.h"

namespace {

// P1 at 0x20..0x27, P2 at 0x28..0x2F, in the order IN, OUT, DIR, IFG, IES, IE, SEL, REN; SEL2 of
// both at 0x41 and 0x42.
constexpr std::uint16_t P1_BASE = 0x0020;
constexpr std::uint16_t P1SEL2_ADDRESS = 0x0041;
constexpr std::uint16_t P2SEL2_ADDRESS = 0x0042;

}  // namespace

bool Ports::owns(std::uint16_t address) {
    return (address >= P1_BASE && address < P1_BASE + 16) || address == P1SEL2_ADDRESS ||
           address == P2SEL2_ADDRESS;
}

void Ports::reset(bool power_on) {
    for (Port& p : pins_) {
        const std::uint8_t out = power_on ? 0 : p.out;
        const std::uint8_t ies = power_on ? 0 : p.ies;
        p = Port{};
        p.out = out;
        p.ies = ies;
        settle(p);
        p.ifg = 0;
    }
}

std::uint8_t* Ports::field(std::uint16_t address) {
    if (address == P1SEL2_ADDRESS) return &pins_[0].sel2;
    if (address == P2SEL2_ADDRESS) return &pins_[1].sel2;
    Port& p = pins_[(address - P1_BASE) / 8];
    std::uint8_t* const fields[8] = {&p.in, &p.out, &p.dir, &p.ifg, &p.ies, &p.ie, &p.sel, &p.ren};
    return fields[(address - P1_BASE) % 8];
}

std::uint8_t Ports::read(std::uint16_t address) const { return *const_cast<Ports*>(this)->field(address); }

void Ports::write(std::uint16_t address, std::uint8_t value) {
    std::uint8_t* at = field(address);
    if (at == &pins_[0].in || at == &pins_[1].in) return;  // IN is read-only
    *at = value;
    settle(pins_[address == P1SEL2_ADDRESS || address == P2SEL2_ADDRESS ? address - P1SEL2_ADDRESS
                                                                        : (address - P1_BASE) / 8]);
}

void Ports::settle(Port& p) {
    // An output drives OUT; an input with its resistor on is pulled as OUT says; a floating input
    // reads low. Pins given to a peripheral read low as well.
    const std::uint8_t io = static_cast<std::uint8_t>(~(p.sel | p.sel2));
    const std::uint8_t driven = static_cast<std::uint8_t>(p.dir & io);
    const std::uint8_t pulled = static_cast<std::uint8_t>(p.ren & ~p.dir & io);
    const std::uint8_t in = static_cast<std::uint8_t>(p.out & (driven | pulled));
    const std::uint8_t rising = static_cast<std::uint8_t>(in & ~p.in);
    const std::uint8_t falling = static_cast<std::uint8_t>(~in & p.in);
    p.ifg |= static_cast<std::uint8_t>((rising & ~p.ies) | (falling & p.ies));
    p.in = in;
}
