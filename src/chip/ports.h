// Ports P1 and P2 of the MSP430G2xx: eight pins each with OUT, DIR, IN, SEL, SEL2 and the pull
// resistors (REN), and the edge interrupts (IE, IES, IFG) with a vector per port.
#pragma once

#include <cstdint>

class Ports {
public:
    // A PUC makes every pin an input with no function and no interrupt; OUT and IES keep what they
    // held (a POR leaves them as a fresh chip has them, here zero).
    void reset(bool power_on);

    static bool owns(std::uint16_t address);
    std::uint8_t read(std::uint16_t address) const;
    void write(std::uint16_t address, std::uint8_t value);

    // The interrupt request of port 1 or 2.
    bool pending(int port) const { return (pins_[port - 1].ie & pins_[port - 1].ifg) != 0; }

    // The levels on the pins of port 1 or 2 as the chip drives or pulls them.
    std::uint8_t levels(int port) const { return pins_[port - 1].in; }
    // The pins of port 1 that carry a peripheral's second function (SEL and SEL2 both set).
    std::uint8_t second_function(int port) const { return pins_[port - 1].sel & pins_[port - 1].sel2; }

private:
    struct Port {
        std::uint8_t in = 0, out = 0, dir = 0, ifg = 0, ies = 0, ie = 0, sel = 0, sel2 = 0, ren = 0;
    };
    std::uint8_t* field(std::uint16_t address);
    // IN follows what the pins now carry; an edge of the chosen direction sets IFG.
    void settle(Port& port);

    Port pins_[2];
};
