#include "chip/usci_uart.h"

#include <algorithm>

namespace {

// UCA0CTL0.
constexpr std::uint8_t UCPEN = 0x80;
constexpr std::uint8_t UC7BIT = 0x10;
constexpr std::uint8_t UCSPB = 0x08;
// UCA0STAT: the error flags that reading RXBUF clears.
constexpr std::uint8_t RX_ERRORS = 0x7C;

constexpr std::uint8_t RXD_PIN = 0x02;  // P1.1
constexpr std::uint8_t TXD_PIN = 0x04;  // P1.2

// Which bits of a frame, from the start bit on, UCBRSx lengthens by one BRCLK cycle (or, with
// oversampling, by one UCBRx); the pattern repeats every eight bits.
constexpr std::uint8_t MODULATION[8] = {0x00, 0x02, 0x22, 0x2A, 0xAA, 0xAE, 0xEE, 0xFE};

// What the host has not read yet is kept up to this much; beyond it, the line drops bytes as a
// receiver that nobody empties would.
constexpr std::size_t HOST_QUEUE_LIMIT = 1 << 16;

}  // namespace

void UsciUart::reset() {
    ctl0_ = br0_ = br1_ = mctl_ = stat_ = rxbuf_ = txbuf_ = 0;
    ctl1_ = UCSWRST;
    tx_buffered_ = tx_shifting_ = rx_shifting_ = false;
    from_host_.clear();
}

std::uint8_t UsciUart::read(std::uint16_t address) {
    switch (address) {
        case UCA0CTL0_ADDRESS: return ctl0_;
        case UCA0CTL1_ADDRESS: return ctl1_;
        case UCA0BR0_ADDRESS: return br0_;
        case UCA0BR1_ADDRESS: return br1_;
        case UCA0MCTL_ADDRESS: return mctl_;
        case UCA0STAT_ADDRESS: return static_cast<std::uint8_t>(stat_ | (tx_shifting_ || rx_shifting_ ? UCBUSY : 0));
        case UCA0RXBUF_ADDRESS:
            sfr_.ifg2 &= ~UCA0RXIFG;
            stat_ &= ~RX_ERRORS;
            return rxbuf_;
        default: return txbuf_;
    }
}

void UsciUart::write(std::uint16_t address, std::uint8_t value) {
    switch (address) {
        case UCA0CTL0_ADDRESS: ctl0_ = value; break;
        case UCA0CTL1_ADDRESS:
            ctl1_ = value;
            if (value & UCSWRST) {
                sfr_.ie2 &= ~(UCA0RXIE | UCA0TXIE);
                sfr_.ifg2 = static_cast<std::uint8_t>((sfr_.ifg2 & ~UCA0RXIFG) | UCA0TXIFG);
                stat_ &= ~(RX_ERRORS | UCOE);
                tx_buffered_ = tx_shifting_ = rx_shifting_ = false;
                from_host_.clear();
            }
            break;
        case UCA0BR0_ADDRESS: br0_ = value; break;
        case UCA0BR1_ADDRESS: br1_ = value; break;
        case UCA0MCTL_ADDRESS: mctl_ = value; break;
        case UCA0STAT_ADDRESS: stat_ = static_cast<std::uint8_t>(value & ~UCBUSY); break;
        case UCA0RXBUF_ADDRESS: break;
        default:
            txbuf_ = value;
            if (!enabled()) break;
            tx_buffered_ = true;
            sfr_.ifg2 &= ~UCA0TXIFG;
            if (!tx_shifting_) start_transmit();
            break;
    }
}

std::uint32_t UsciUart::brclk_hz(const ClockRates& clocks) const {
    if (ctl1_ & UCSSEL_SMCLK) return clocks.smclk_hz;  // requested by the module in any low-power mode
    if (ctl1_ & UCSSEL_ACLK) return clocks.aclk();
    return 0;  // UCLK comes from a pin that nothing drives
}

int UsciUart::frame_bits() const {
    return 1 + ((ctl0_ & UC7BIT) ? 7 : 8) + ((ctl0_ & UCPEN) ? 1 : 0) + ((ctl0_ & UCSPB) ? 2 : 1);
}

std::uint64_t UsciUart::frame_cycles() const {
    const std::uint64_t divider = std::max(1, br0_ | br1_ << 8);
    const std::uint8_t modulation = MODULATION[(mctl_ >> 1) & 7];
    std::uint64_t cycles = 0;
    for (int bit = 0; bit < frame_bits(); ++bit) {
        const std::uint64_t extra = (modulation >> (bit % 8)) & 1;
        cycles += (mctl_ & UCOS16) ? (16 + extra) * divider + (mctl_ >> 4) : divider + extra;
    }
    return cycles;
}

std::uint32_t UsciUart::baud(const ClockRates& clocks) const {
    if (!enabled()) return 0;
    const std::uint64_t hz = brclk_hz(clocks);
    const std::uint64_t cycles = frame_cycles();
    return static_cast<std::uint32_t>((hz * frame_bits() + cycles / 2) / cycles);
}

bool UsciUart::rates_agree(const ClockRates& clocks) {
    if (host_baud_ == 0) return true;
    const std::uint32_t board = baud(clocks);
    const std::uint64_t apart = board > host_baud_ ? board - host_baud_ : host_baud_ - board;
    if (apart * 20 <= host_baud_) return true;
    mismatch_baud_ = board;
    return false;
}

void UsciUart::host_send(const std::uint8_t* bytes, std::size_t n) {
    // Nothing listens on the line while the module is in reset or P1.1 is not its pin.
    if (!enabled() || !(ports_.second_function(1) & RXD_PIN)) return;
    from_host_.insert(from_host_.end(), bytes, bytes + n);
    if (!rx_shifting_) start_receive();
}

std::size_t UsciUart::host_take(std::uint8_t* out, std::size_t capacity) {
    const std::size_t n = std::min(capacity, to_host_.size());
    std::copy_n(to_host_.begin(), n, out);
    to_host_.erase(to_host_.begin(), to_host_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void UsciUart::start_transmit() {
    tx_shift_ = txbuf_;
    tx_buffered_ = false;
    tx_shifting_ = true;
    tx_left_ = frame_cycles();
    sfr_.ifg2 |= UCA0TXIFG;
}

void UsciUart::start_receive() {
    if (from_host_.empty()) return;
    rx_shift_ = from_host_.front();
    from_host_.pop_front();
    rx_shifting_ = true;
    rx_left_ = frame_cycles();
}

void UsciUart::receive(std::uint8_t byte) {
    if (sfr_.ifg2 & UCA0RXIFG) stat_ |= UCOE;
    rxbuf_ = byte;
    sfr_.ifg2 |= UCA0RXIFG;
}

void UsciUart::end_transmit(const ClockRates& clocks) {
    tx_shifting_ = false;
    if ((ports_.second_function(1) & TXD_PIN) && rates_agree(clocks) && to_host_.size() < HOST_QUEUE_LIMIT) {
        to_host_.push_back(tx_shift_);
    }
    if (stat_ & UCLISTEN) receive(tx_shift_);
    if (tx_buffered_) start_transmit();
}

void UsciUart::end_receive(const ClockRates& clocks) {
    rx_shifting_ = false;
    if (rates_agree(clocks)) receive(rx_shift_);
    start_receive();
}

std::uint64_t UsciUart::ns_to_event(const ClockRates& clocks) const {
    if (!tx_shifting_ && !rx_shifting_) return NO_EVENT;
    const std::uint64_t left = std::min(tx_shifting_ ? tx_left_ : NO_EVENT, rx_shifting_ ? rx_left_ : NO_EVENT);
    return ticker_.ns_until(left, brclk_hz(clocks));
}

void UsciUart::advance(std::uint64_t dt_ns, const ClockRates& clocks) {
    const std::uint32_t hz = brclk_hz(clocks);
    if (hz == 0 || (!tx_shifting_ && !rx_shifting_)) return;
    std::uint64_t edges = ticker_.advance(dt_ns, hz);
    while (edges > 0 && (tx_shifting_ || rx_shifting_)) {
        const std::uint64_t step =
            std::min({edges, tx_shifting_ ? tx_left_ : NO_EVENT, rx_shifting_ ? rx_left_ : NO_EVENT});
        edges -= step;
        if (tx_shifting_) tx_left_ -= step;
        if (rx_shifting_) rx_left_ -= step;
        if (tx_shifting_ && tx_left_ == 0) end_transmit(clocks);
        if (rx_shifting_ && rx_left_ == 0) end_receive(clocks);
    }
}
