// The virtual LaunchPad's insides: the chip and its board, the emulated eZ-FET on the debug
// port, and the board's UART on the application port, all run on the host's clock.
#pragma once

#include <cstdint>
#include <memory>

#include "chip/board.h"
#include "chip/target.h"
#include "ezfet/ez_fet.h"
#include "image/memory_image.h"
#include "platform/virtual_launchpad.h"

class LaunchpadBoard : public LaunchpadService {
public:
    // The board powered up with whatever the target's flash holds.
    LaunchpadBoard(const Part& part, const EzFetFaults& faults);

    // Puts image into the chip's flash and starts the board again from it, as a board that
    // was programmed earlier comes up. SIM_OK or an error, with why filled in.
    int preload(const MemoryImage& image, std::string& why);

    void debug_received(const std::uint8_t* bytes, std::size_t n) override;
    std::size_t debug_take(std::uint8_t* out, std::size_t capacity) override;
    void uart_rate(std::uint32_t baud) override;
    void uart_received(const std::uint8_t* bytes, std::size_t n) override;
    std::size_t uart_take(std::uint8_t* out, std::size_t capacity) override;
    int run() override;

    Board& board() { return board_; }

private:
    Target target_;
    Board board_;
    EzFet fet_;
    std::uint32_t host_baud_ = 0;
};

// The host time the board runs on, in nanoseconds of the steady clock.
std::uint64_t launchpad_clock_ns();
