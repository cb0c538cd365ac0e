// The special function registers of the MSP430G2xx: the interrupt enables and flags that the
// watchdog, the oscillators and the USCI share, at 0x0000 to 0x0003.
#pragma once

#include <cstdint>

inline constexpr std::uint16_t IE1_ADDRESS = 0x0000;
inline constexpr std::uint16_t IE2_ADDRESS = 0x0001;
inline constexpr std::uint16_t IFG1_ADDRESS = 0x0002;
inline constexpr std::uint16_t IFG2_ADDRESS = 0x0003;

// IE1 and IFG1.
inline constexpr std::uint8_t WDTIE = 0x01, WDTIFG = 0x01;
inline constexpr std::uint8_t OFIE = 0x02, OFIFG = 0x02;
inline constexpr std::uint8_t PORIFG = 0x04;
inline constexpr std::uint8_t RSTIFG = 0x08;
inline constexpr std::uint8_t NMIIE = 0x10, NMIIFG = 0x10;
inline constexpr std::uint8_t ACCVIE = 0x20;
// IE2 and IFG2.
inline constexpr std::uint8_t UCA0RXIE = 0x01, UCA0RXIFG = 0x01;
inline constexpr std::uint8_t UCA0TXIE = 0x02, UCA0TXIFG = 0x02;
inline constexpr std::uint8_t UCB0TXIFG = 0x08;

struct Sfr {
    std::uint8_t ie1 = 0, ie2 = 0, ifg1 = 0, ifg2 = 0;

    std::uint8_t& at(std::uint16_t address) {
        switch (address) {
            case IE1_ADDRESS: return ie1;
            case IE2_ADDRESS: return ie2;
            case IFG1_ADDRESS: return ifg1;
            default: return ifg2;
        }
    }

    // A PUC clears the enables; the flags that say why the chip reset are the caller's to set.
    void reset(bool power_on) {
        ie1 = 0;
        ie2 = 0;
        ifg1 = static_cast<std::uint8_t>(power_on ? PORIFG : ifg1 & (PORIFG | RSTIFG | WDTIFG)) | OFIFG;
        ifg2 = UCA0TXIFG | UCB0TXIFG;
    }
};
