// USCI_A0 of the MSP430G2xx in UART mode (0x0060..0x0067): the bit clock from BRCLK, UCBRx and
// the modulation in UCA0MCTL, one transmit buffer ahead of the shift register, the receive
// buffer with its overrun flag, and the flags and enables in IFG2/IE2. Its two pins are P1.1
// (RXD) and P1.2 (TXD) when P1SEL and P1SEL2 give them to it.
//
// The far end is the host: what the board sends is queued for it as each frame ends; what the
// host sends is shifted in at the board's own rate. When the host's line runs more than 5% away
// from the board's rate, frames on either side are lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "chip/clock.h"
#include "chip/ports.h"
#include "chip/sfr.h"

inline constexpr std::uint16_t UCA0CTL0_ADDRESS = 0x0060;
inline constexpr std::uint16_t UCA0CTL1_ADDRESS = 0x0061;
inline constexpr std::uint16_t UCA0BR0_ADDRESS = 0x0062;
inline constexpr std::uint16_t UCA0BR1_ADDRESS = 0x0063;
inline constexpr std::uint16_t UCA0MCTL_ADDRESS = 0x0064;
inline constexpr std::uint16_t UCA0STAT_ADDRESS = 0x0065;
inline constexpr std::uint16_t UCA0RXBUF_ADDRESS = 0x0066;
inline constexpr std::uint16_t UCA0TXBUF_ADDRESS = 0x0067;

inline constexpr std::uint8_t UCSWRST = 0x01;
inline constexpr std::uint8_t UCSSEL_ACLK = 0x40;
inline constexpr std::uint8_t UCSSEL_SMCLK = 0x80;
inline constexpr std::uint8_t UCOS16 = 0x01;
inline constexpr std::uint8_t UCOE = 0x20;
inline constexpr std::uint8_t UCLISTEN = 0x80;
inline constexpr std::uint8_t UCBUSY = 0x01;

class UsciUart {
public:
    UsciUart(Sfr& sfr, const Ports& ports) : sfr_(sfr), ports_(ports) {}

    static bool owns(std::uint16_t address) { return address >= UCA0CTL0_ADDRESS && address <= UCA0TXBUF_ADDRESS; }
    // Reading RXBUF takes the byte: RXIFG and the overrun flag clear.
    std::uint8_t read(std::uint16_t address);
    void write(std::uint16_t address, std::uint8_t value);

    // Held in reset (UCSWRST) with every register as a PUC leaves it; frames in flight are lost.
    void reset();

    // The bit rate the registers give on the present clocks, 0 while the module is held in reset
    // or has no clock.
    std::uint32_t baud(const ClockRates& clocks) const;

    std::uint64_t ns_to_event(const ClockRates& clocks) const;
    void advance(std::uint64_t dt_ns, const ClockRates& clocks);

    // The host's side of the line. host_baud 0: the host follows the board's rate.
    void set_host_baud(std::uint32_t host_baud) { host_baud_ = host_baud; }
    void host_send(const std::uint8_t* bytes, std::size_t n);
    std::size_t host_take(std::uint8_t* out, std::size_t capacity);
    // The board's rate at the last frame lost to a rate mismatch, then 0 until the next.
    std::uint32_t take_mismatch() {
        const std::uint32_t rate = mismatch_baud_;
        mismatch_baud_ = 0;
        return rate;
    }

private:
    std::uint32_t brclk_hz(const ClockRates& clocks) const;
    int frame_bits() const;
    // BRCLK cycles of one whole frame, with the modulation of each bit.
    std::uint64_t frame_cycles() const;
    bool rates_agree(const ClockRates& clocks);
    void start_transmit();
    void start_receive();
    void end_transmit(const ClockRates& clocks);
    void end_receive(const ClockRates& clocks);
    void receive(std::uint8_t byte);
    bool enabled() const { return (ctl1_ & UCSWRST) == 0; }

    Sfr& sfr_;
    const Ports& ports_;
    std::uint8_t ctl0_ = 0, ctl1_ = UCSWRST, br0_ = 0, br1_ = 0, mctl_ = 0, stat_ = 0, rxbuf_ = 0, txbuf_ = 0;
    bool tx_buffered_ = false;  // TXBUF holds a byte the shift register has not taken yet
    bool tx_shifting_ = false;
    std::uint8_t tx_shift_ = 0;
    std::uint64_t tx_left_ = 0;  // BRCLK cycles until the frame being sent ends
    bool rx_shifting_ = false;
    std::uint8_t rx_shift_ = 0;
    std::uint64_t rx_left_ = 0;
    Ticker ticker_;

    std::uint32_t host_baud_ = 0;
    std::uint32_t mismatch_baud_ = 0;
    std::deque<std::uint8_t> to_host_;
    std::deque<std::uint8_t> from_host_;
};
