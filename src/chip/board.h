// The virtual MSP430G2553 board: the CPU, the chip's peripherals and clocks, its RAM and the
// target's flash, run in step with the wall clock, with the UART's two lines as byte queues.
//
// Time is the host's: the board is told how far to run (advance_to) and tells when it next
// needs to run (next_due), so that a sleeping board costs its host nothing in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

class Target;

inline constexpr std::uint64_t BOARD_NEVER = std::numeric_limits<std::uint64_t>::max();

class Board {
public:
    Board();
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // Power-on reset at host time now_ns: the flash and information memory are copied from the
    // target (the calibration constants in segment A with them), RAM and the peripherals start
    // as the data sheet says, and the CPU starts from the reset vector.
    void start(const Target& target, std::uint64_t now_ns);
    // JTAG takes the chip: the CPU and the clocks stop where they are until the next start.
    void halt();
    bool running() const;

    // Runs the board up to host time now_ns.
    void advance_to(std::uint64_t now_ns);
    // The host time the board next needs to run: now while the CPU is active, the next timer,
    // watchdog or UART event while it sleeps, BOARD_NEVER when nothing is due.
    std::uint64_t next_due() const;

    // The UART. Bytes the board has sent up to now, at most capacity; bytes the host sends,
    // which arrive at the board at the pace of its UART. The host's line runs at host_baud:
    // when it and the board's rate differ by more than 5%, neither side receives anything. Until
    // set_host_baud is called (or after it is given 0), the host's line follows the board's rate.
    std::size_t uart_take(std::uint8_t* out, std::size_t capacity);
    void uart_send(const std::uint8_t* bytes, std::size_t n);
    void set_host_baud(std::uint32_t host_baud);
    // The board's UART rate as its firmware set it up, 0 while the UART is not in use.
    std::uint32_t uart_baud() const;

    // Lines worth telling at the most detailed print level: why the CPU is held, the first
    // touch of each peripheral the board does not model, the UART's rate when the host's line
    // runs at another. Each is given once after each start.
    std::vector<std::string> take_notes();

    // What a debug adapter reaches over JTAG while the board is halted. Memory as the CPU sees
    // it: RAM, the peripheral registers through their modules, flash as last loaded from the
    // target (writes there are dropped: flash changes in the target, then load_flash).
    std::uint16_t debug_read(std::uint16_t address, bool byte);
    void debug_write(std::uint16_t address, std::uint16_t value, bool byte);
    // R0 (PC) to R15.
    std::uint16_t debug_register(int n) const;
    void debug_set_register(int n, std::uint16_t value);
    // A PUC: RAM kept, the CPU from the reset vector.
    void debug_puc();
    // Copies the target's flash and information memory into the board's memory again.
    void load_flash(const Target& target);
    // Goes on running from where the CPU stands, at host time now_ns, as if no time had
    // passed while halted.
    void resume(std::uint64_t now_ns);

private:
    struct Machine;
    Machine* machine_;
};
