// How fast the virtual board's CPU interprets: a busy loop (`dec r15; jnz`, three cycles an
// iteration on the chip) run for a few seconds of processor time, reported as instructions a
// second and as the factor over a chip clocked at 16 MHz. Processor time, not wall time: the
// figure is the interpreter's, whatever else the machine runs meanwhile.
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "sim/cpu.h"

namespace {

constexpr double CHIP_HZ = 16e6;
constexpr double TARGET_FACTOR = 20;
constexpr std::uint64_t BATCH_CYCLES = 1'000'000;
constexpr double RUN_SECONDS = 2;

// Flash at 0xC000 and up, RAM below; no peripherals, so no access leaves the interpreter.
class FlatBus : public Bus {
public:
    FlatBus() {
        for (int p = 0x02; p < 0x04; ++p) pages[p] = Page::ram;
        for (int p = 0xC0; p < PAGE_COUNT; ++p) pages[p] = Page::rom;
    }
    std::uint16_t io_read(std::uint16_t, bool) override { return 0; }
    void io_write(std::uint16_t, std::uint16_t, bool) override {}
    void rom_write(std::uint16_t, std::uint16_t, bool) override {}
    int pending_interrupt(bool) override { return -1; }
    void interrupt_accepted(int) override {}

    void put(std::uint16_t address, std::uint16_t word) {
        memory[address] = static_cast<std::uint8_t>(word);
        memory[address + 1] = static_cast<std::uint8_t>(word >> 8);
    }
};

}  // namespace

int main() {
    FlatBus bus;
    bus.put(0xC000, 0x831F);  // loop: dec r15
    bus.put(0xC002, 0x23FE);  //       jnz loop
    bus.put(0xC004, 0x3FFD);  //       jmp loop
    bus.put(0xFFFE, 0xC000);
    Cpu cpu(bus);
    cpu.reset();

    std::clock_t start = std::clock();
    double seconds = 0;
    while (seconds < RUN_SECONDS && !cpu.held()) {
        cpu.run(cpu.cycles() + BATCH_CYCLES);
        seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    }
    if (cpu.held()) {
        std::printf("cpu: held: %s\n", cpu.why().c_str());
        return 1;
    }
    // Two instructions every three cycles; the outer jump once in 65536 iterations is noise.
    double instructions = static_cast<double>(cpu.cycles()) * 2 / 3;
    double factor = static_cast<double>(cpu.cycles()) / seconds / CHIP_HZ;
    std::printf("cpu: busy loop: %.0f million instructions/s, %.1f times a 16 MHz chip (at least %.0f wanted)\n",
                instructions / seconds / 1e6, factor, TARGET_FACTOR);
    return factor >= TARGET_FACTOR ? 0 : 1;
}
