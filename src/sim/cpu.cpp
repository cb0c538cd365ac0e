#include "sim/cpu.h"

Cpu::Cpu(Bus& bus) : bus_(bus) {}

void Cpu::reset() {
    for (auto& r : reg) r = 0;
    held_ = true;
    why_ = "the CPU is not implemented yet";
}

void Cpu::run(std::uint64_t) {}
