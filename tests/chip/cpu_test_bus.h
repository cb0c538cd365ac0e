// A bus for running the CPU alone, and encoders of instruction words.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "chip/cpu.h"

// Instruction words: double operand (op 4 to 15), single operand (0 RRC to 6 RETI), jumps.
constexpr std::uint16_t two(unsigned op, unsigned src, unsigned as, unsigned dst, unsigned ad = 0, bool byte = false) {
    return static_cast<std::uint16_t>(op << 12 | src << 8 | ad << 7 | byte << 6 | as << 4 | dst);
}
constexpr std::uint16_t one(unsigned op, unsigned as, unsigned reg, bool byte = false) {
    return static_cast<std::uint16_t>(0x1000 | op << 7 | byte << 6 | as << 4 | reg);
}
constexpr std::uint16_t jump(unsigned condition, int words) {
    return static_cast<std::uint16_t>(0x2000 | condition << 10 | (words & 0x3FF));
}
enum { REG, INDEXED, INDIRECT, AUTOINC };
constexpr unsigned PC = 0, SP = 1, SR = 2, CG = 3;
constexpr unsigned MOV = 4, ADD = 5, BIC = 0xC, BIS = 0xD;
constexpr unsigned RRC = 0, PUSH = 4, CALL = 5, RETI = 6;
constexpr std::uint16_t BIS_GIE_SR = two(BIS, SR, AUTOINC, SR);  // eint: bis #8, sr
constexpr std::uint16_t JMP_SELF = jump(7, -1);

class TestBus : public Bus {
public:
    // RAM starts blank as mspdebug's does (0xFF).
    TestBus(unsigned ram_from, unsigned ram_to, unsigned rom_from = 0xC000) {
        for (unsigned p = ram_from >> PAGE_SHIFT; p < ram_to >> PAGE_SHIFT; ++p) pages[p] = Page::ram;
        for (unsigned p = rom_from >> PAGE_SHIFT; p < PAGE_COUNT; ++p) pages[p] = Page::rom;
        for (auto& byte : memory) byte = 0xFF;
    }

    void put(std::uint16_t address, std::uint16_t word) {
        memory[address] = static_cast<std::uint8_t>(word), memory[address + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    void code(std::uint16_t address, const std::vector<std::uint16_t>& words) {
        for (std::uint16_t word : words) put(address, word), address = static_cast<std::uint16_t>(address + 2);
    }
    std::uint16_t word(std::uint16_t address) const {
        return static_cast<std::uint16_t>(memory[address] | memory[address + 1] << 8);
    }

    // Each access as "r 0120 w=5a80" or "w 0021 b=01", "flash c000 w=1234".
    std::vector<std::string> log;
    std::map<std::uint16_t, std::uint16_t> io_values;
    int request = -1;           // the index pending_interrupt offers
    bool request_maskable = true;
    std::vector<int> accepted;  // the indexes the CPU took
    std::uint16_t stop_on_write = 0;  // an io address whose write ends the batch
    std::uint16_t raise_at = 0;       // an io address whose access raises the request `raises`
    int raises = -1;
    const Cpu* cpu = nullptr;         // when set, the cycle count at each access is kept
    std::vector<std::uint64_t> access_cycles;

    std::uint16_t io_read(std::uint16_t address, bool byte) override {
        note("r", address, io_values[address], byte);
        if (address == raise_at) request = raises;
        return io_values[address];
    }
    void io_write(std::uint16_t address, std::uint16_t value, bool byte) override {
        note("w", address, value, byte);
        if (address == stop_on_write) stop_batch = true;
        if (address == raise_at) request = raises;
    }
    void rom_write(std::uint16_t address, std::uint16_t value, bool byte) override {
        note("flash", address, value, byte);
    }
    void peripheral_fetch(std::uint16_t address) override { note("fetch", address, 0, false); }
    int pending_interrupt(bool gie) override { return gie || !request_maskable ? request : -1; }
    void interrupt_accepted(int index) override { accepted.push_back(index), request = -1; }

private:
    void note(const char* what, std::uint16_t address, std::uint16_t value, bool byte) {
        if (cpu) access_cycles.push_back(cpu->cycles());
        char line[40];
        std::snprintf(line, sizeof line, "%s %04x %s=%0*x", what, address, byte ? "b" : "w", byte ? 2 : 4, value);
        log.push_back(line);
    }
};
