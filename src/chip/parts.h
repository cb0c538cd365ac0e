// The MSP430 parts the simulated target can be, with their real memory maps.
#pragma once

#include <cstdint>
#include <span>

#include "base/fet_interface.h"

// Emulation levels, from the fewest breakpoints and triggers to the most.
inline constexpr int EMULATION_LOW = 0;
inline constexpr int EMULATION_MEDIUM = 1;
inline constexpr int EMULATION_HIGH = 2;
inline constexpr int EMULATION_EXTRA_HIGH = 3;

// Clock control while the target is halted: 1 the whole clock system stops, 2 each clock can
// be chosen, 3 each module's clock can be chosen.
inline constexpr int CLOCK_BASIC = 1;
inline constexpr int CLOCK_EXTENDED = 2;
inline constexpr int CLOCK_MODULES = 3;

// What main and information memory are made of. Flash is erased to 0xFF and programming only
// clears bits; FRAM takes each write as it stands, and an erase merely fills it with 0xFF.
enum MemoryKind { FLASH, FRAM };

// Address ranges are inclusive; a start equal to its end means the part has no such memory
// (except for LCD, where a start of 0 means none, as the device record says).
struct Part {
    const char* name;
    MemoryKind memory;
    std::uint32_t flash_start, flash_end;  // main memory; ends above 0xFFFF on MSP430X parts
    std::uint32_t info_start, info_end;
    std::uint32_t ram_start, ram_end;
    std::uint32_t bsl_start, bsl_end;
    std::uint32_t lcd_start, lcd_end;
    int vcc_min_mv, vcc_max_mv;
    int breakpoints;
    int emulation;
    int clock_control;
    int test_vpp;  // 1: the fuse is blown through the TEST pin, 0: through TDI or not at all
    std::uint32_t main_segment;  // erase unit of main memory, bytes
    std::uint32_t info_segment;  // erase unit of information memory, bytes
    bool lockable_a;             // the top info segment (A) is write-protected until unlocked
};

// The whole table, in the order MSP430_Device numbers it from 1.
std::span<const Part> all_parts();

// The part "SIM" alone simulates.
const Part& default_part();

// Finds a part by name, with or without its "MSP430" prefix, case ignored; null if unknown.
const Part* find_part(const char* name);

// The part's number in the table, from 1; it is also the ID the device record reports.
int part_id(const Part& part);

// The start of information segment A, the top segment of information memory.
std::uint32_t segment_a_start(const Part& part);

// Fills the 80-byte device record as MSP430_Identify and MSP430_Device hand it out.
void fill_device_record(const Part& part, unsigned char* record);
