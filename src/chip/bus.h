// What the CPU of the virtual board sees: one 64 KiB address space and the interrupt requests.
//
// RAM and flash are plain bytes the CPU reads (and for RAM writes) itself, so that a fetch or
// a stack access costs no call; the peripheral registers, and writes that land on flash, go to
// the board. Words are little-endian at even addresses.
#pragma once

#include <cstdint>

enum class Page : std::uint8_t {
    none,  // no memory here: a read gives 0, a write is dropped, a fetch holds the CPU in reset
    ram,   // read and written in `memory` directly
    rom,   // flash: read in `memory` directly, writes go to rom_write
    io,    // peripheral registers: every access goes to io_read / io_write, a fetch to peripheral_fetch
};

inline constexpr int PAGE_SHIFT = 8;
inline constexpr int PAGE_COUNT = 0x10000 >> PAGE_SHIFT;

// Interrupt vectors sit at 0xFFE0 + 2 * index; index 15 (0xFFFE) is the reset vector, and a
// higher index has the higher priority.
inline constexpr int VECTOR_COUNT = 16;
inline constexpr std::uint16_t VECTOR_TABLE = 0xFFE0;
inline constexpr int RESET_VECTOR_INDEX = 15;
inline constexpr int NMI_VECTOR_INDEX = 14;

class Bus {
public:
    virtual ~Bus() = default;

    // The contents of every ram and rom page; what io and none pages hold here is never read.
    std::uint8_t memory[0x10000]{};
    Page pages[PAGE_COUNT]{};

    Page page_of(std::uint16_t address) const { return pages[address >> PAGE_SHIFT]; }

    // Peripheral registers; `byte` tells a .B access from a word access (whose address is even).
    virtual std::uint16_t io_read(std::uint16_t address, bool byte) = 0;
    virtual void io_write(std::uint16_t address, std::uint16_t value, bool byte) = 0;
    // A write into flash: only the flash controller may take it.
    virtual void rom_write(std::uint16_t address, std::uint16_t value, bool byte) = 0;
    // The CPU went to fetch an instruction from an io page; on the chip that is a PUC. The batch
    // ends with the CPU at that address.
    virtual void peripheral_fetch(std::uint16_t address) = 0;

    // The index of the highest-priority request that may be taken now, or -1. Maskable requests
    // count only while gie is set; the non-maskable ones (index 14) always.
    virtual int pending_interrupt(bool gie) = 0;
    // The CPU has entered the interrupt of that index: single-source flags clear here.
    virtual void interrupt_accepted(int index) = 0;

    // Set by the board during an access (a timer started, the watchdog asked for a reset) to
    // make Cpu::run return after the current instruction, so the board can plan again.
    bool stop_batch = false;
};
