// The MSP430 CPU (the 16-bit core of the 1xx, 2xx, 4xx and G2xx families), interpreting what
// its Bus holds, counting the cycles of every instruction as the family's user's guide gives
// them.
#pragma once

#include <cstdint>
#include <string>

#include "chip/bus.h"

// Status register bits.
inline constexpr std::uint16_t SR_C = 0x0001;
inline constexpr std::uint16_t SR_Z = 0x0002;
inline constexpr std::uint16_t SR_N = 0x0004;
inline constexpr std::uint16_t SR_GIE = 0x0008;
inline constexpr std::uint16_t SR_CPUOFF = 0x0010;
inline constexpr std::uint16_t SR_OSCOFF = 0x0020;
inline constexpr std::uint16_t SR_SCG0 = 0x0040;
inline constexpr std::uint16_t SR_SCG1 = 0x0080;
inline constexpr std::uint16_t SR_V = 0x0100;

class Cpu {
public:
    explicit Cpu(Bus& bus);

    // A reset (POR or PUC): every register cleared, then PC from the reset vector. A blank
    // vector (0xFFFF) or one that points where there is no memory holds the CPU in reset.
    void reset();

    // Runs instructions until cycles() reaches `until`, the CPU sleeps (CPUOFF) with nothing to
    // wake it, it is held, it goes to fetch from an io page (the bus's peripheral_fetch is told),
    // or the bus asks to stop the batch (the CPU clears stop_batch then).
    // Interrupts are taken between instructions and wake a sleeping CPU; the bus is asked for
    // requests when a batch starts, after each peripheral access, and after SR changes (then
    // only once the next instruction has run, as after EINT on the chip). Taking one costs 6
    // cycles and may end a batch past `until`. Returns at once while held.
    void run(std::uint64_t until);

    // MCLK cycles since construction; a sleeping CPU counts none. During a peripheral access
    // it is the count at the start of the instruction that makes it, and reg[] is current.
    std::uint64_t cycles() const { return cycles_; }
    bool sleeping() const { return (reg[2] & SR_CPUOFF) != 0; }
    std::uint16_t status() const { return reg[2]; }

    // Held in reset instead of running garbage; why() says why in one line.
    bool held() const { return held_; }
    const std::string& why() const { return why_; }

    // R0 (PC), R1 (SP), R2 (SR), R3 (constant generator) to R15; open for tests and the board.
    std::uint16_t reg[16]{};

private:
    friend class CpuBatch;
    void hold(std::string why);

    Bus& bus_;
    std::uint64_t cycles_ = 0;
    // The last instruction changed SR: requests wait until the one after it has run.
    bool interrupt_after_next_ = false;
    bool held_ = true;
    std::string why_ = "not started";
};
