#include "chip/parts.h"

#include <cstring>

#include "base/ascii_text.h"

namespace {

// Memory maps from the parts' data sheets. Every part runs from 1.8 V to 3.6 V. Main memory is
// erased in 512-byte segments; information memory in 64-byte segments on the F2xx and G2xx
// families, in 128-byte segments on the others. Segment A is protected by a lock bit on F2xx,
// G2xx, F5xx and F6xx parts; the older families have none.
//
// The FRAM parts of today's LaunchPads come last (the table's order numbers the parts, and
// those numbers are the IDs). Their main memory runs on unbroken past 0xFFFF where the part has
// more than fits below it. FRAM has no erase segments; the 512- and 128-byte units here are
// only what a segment erase clears, as on the flash parts. Their information FRAM is not locked
// like a flash segment A. Memory maps, RAM and BSL are the data sheets'; breakpoints and
// emulation levels the vendor's device database's; the LCD ranges and the clock control are the
// family's usual values, not checked against each data sheet. The FR5994's RAM includes the 4K
// it shares with its LEA coprocessor (0x2C00..0x3BFF); the FR4133's BSL is 1K, the others' 2K.
constexpr Part PARTS[] = {
    // name            memory flash              info             RAM              BSL              LCD            Vcc         bp emulation             clock           vpp seg  info A-lock
    {"MSP430F1232",   FLASH, 0xE000, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x02FF, 0x0C00, 0x0FFF, 0,      0,      1800, 3600, 2, EMULATION_LOW,        CLOCK_BASIC,    1, 512, 128, false},
    {"MSP430F149",    FLASH, 0x1100, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x09FF, 0x0C00, 0x0FFF, 0,      0,      1800, 3600, 3, EMULATION_MEDIUM,     CLOCK_BASIC,    0, 512, 128, false},
    {"MSP430F1611",   FLASH, 0x4000, 0xFFFF,   0x1000, 0x10FF, 0x1100, 0x38FF, 0x0C00, 0x0FFF, 0,      0,      1800, 3600, 8, EMULATION_HIGH,       CLOCK_EXTENDED, 0, 512, 128, false},
    {"MSP430F2013",   FLASH, 0xF800, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x027F, 0,      0,      0,      0,      1800, 3600, 2, EMULATION_LOW,        CLOCK_EXTENDED, 1, 512, 64,  true},
    {"MSP430F2274",   FLASH, 0x8000, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x05FF, 0x0C00, 0x0FFF, 0,      0,      1800, 3600, 2, EMULATION_LOW,        CLOCK_EXTENDED, 1, 512, 64,  true},
    {"MSP430F2618",   FLASH, 0x3100, 0x1FFFF,  0x1000, 0x10FF, 0x1100, 0x30FF, 0x0C00, 0x0FFF, 0,      0,      1800, 3600, 8, EMULATION_HIGH,       CLOCK_EXTENDED, 0, 512, 64,  true},
    {"MSP430G2231",   FLASH, 0xF800, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x027F, 0,      0,      0,      0,      1800, 3600, 2, EMULATION_LOW,        CLOCK_EXTENDED, 1, 512, 64,  true},
    {"MSP430G2452",   FLASH, 0xE000, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x02FF, 0,      0,      0,      0,      1800, 3600, 2, EMULATION_LOW,        CLOCK_EXTENDED, 1, 512, 64,  true},
    {"MSP430G2553",   FLASH, 0xC000, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x03FF, 0x0C00, 0x0FFF, 0,      0,      1800, 3600, 2, EMULATION_LOW,        CLOCK_EXTENDED, 1, 512, 64,  true},
    {"MSP430F413",    FLASH, 0xE000, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x02FF, 0x0C00, 0x0FFF, 0x0091, 0x00A4, 1800, 3600, 2, EMULATION_LOW,        CLOCK_BASIC,    0, 512, 128, false},
    {"MSP430F449",    FLASH, 0x1100, 0xFFFF,   0x1000, 0x10FF, 0x0200, 0x09FF, 0x0C00, 0x0FFF, 0x0091, 0x00A4, 1800, 3600, 8, EMULATION_HIGH,       CLOCK_BASIC,    0, 512, 128, false},
    {"MSP430FG4619",  FLASH, 0x2100, 0x1FFFF,  0x1000, 0x10FF, 0x1100, 0x20FF, 0x0C00, 0x0FFF, 0x0091, 0x00A4, 1800, 3600, 8, EMULATION_HIGH,       CLOCK_EXTENDED, 0, 512, 128, false},
    {"MSP430F5438A",  FLASH, 0x5C00, 0x45BFF,  0x1800, 0x19FF, 0x1C00, 0x5BFF, 0x1000, 0x17FF, 0,      0,      1800, 3600, 8, EMULATION_EXTRA_HIGH, CLOCK_MODULES,  0, 512, 128, true},
    {"MSP430F5529",   FLASH, 0x4400, 0x243FF,  0x1800, 0x19FF, 0x2400, 0x43FF, 0x1000, 0x17FF, 0,      0,      1800, 3600, 8, EMULATION_EXTRA_HIGH, CLOCK_MODULES,  0, 512, 128, true},
    {"MSP430F6638",   FLASH, 0x8000, 0x47FFF,  0x1800, 0x19FF, 0x2400, 0x63FF, 0x1000, 0x17FF, 0x0A20, 0x0A37, 1800, 3600, 8, EMULATION_EXTRA_HIGH, CLOCK_MODULES,  0, 512, 128, true},
    {"MSP430FR2433",  FRAM,  0xC400, 0xFFFF,   0x1800, 0x19FF, 0x2000, 0x2FFF, 0x1000, 0x17FF, 0,      0,      1800, 3600, 3, EMULATION_LOW,        CLOCK_MODULES,  0, 512, 128, false},
    {"MSP430FR2355",  FRAM,  0x8000, 0xFFFF,   0x1800, 0x19FF, 0x2000, 0x2FFF, 0x1000, 0x17FF, 0,      0,      1800, 3600, 3, EMULATION_LOW,        CLOCK_MODULES,  0, 512, 128, false},
    {"MSP430FR4133",  FRAM,  0xC400, 0xFFFF,   0x1800, 0x19FF, 0x2000, 0x27FF, 0x1000, 0x13FF, 0x0620, 0x0633, 1800, 3600, 3, EMULATION_LOW,        CLOCK_MODULES,  0, 512, 128, false},
    {"MSP430FR5969",  FRAM,  0x4400, 0x13FFF,  0x1800, 0x19FF, 0x1C00, 0x23FF, 0x1000, 0x17FF, 0,      0,      1800, 3600, 3, EMULATION_LOW,        CLOCK_MODULES,  0, 512, 128, false},
    {"MSP430FR5994",  FRAM,  0x4000, 0x43FFF,  0x1800, 0x19FF, 0x1C00, 0x3BFF, 0x1000, 0x17FF, 0,      0,      1800, 3600, 3, EMULATION_LOW,        CLOCK_MODULES,  0, 512, 128, false},
    {"MSP430FR6989",  FRAM,  0x4400, 0x23FFF,  0x1800, 0x19FF, 0x1C00, 0x23FF, 0x1000, 0x17FF, 0x0A20, 0x0A33, 1800, 3600, 3, EMULATION_LOW,        CLOCK_MODULES,  0, 512, 128, false},
};

constexpr const char* DEFAULT_PART = "MSP430G2553";
constexpr const char* NAME_PREFIX = "MSP430";

}  // namespace

std::span<const Part> all_parts() { return PARTS; }

const Part& default_part() { return *find_part(DEFAULT_PART); }

const Part* find_part(const char* name) {
    for (const Part& part : PARTS) {
        if (ascii_equal(name, part.name)) return &part;
        if (ascii_equal(name, part.name + std::strlen(NAME_PREFIX))) return &part;
    }
    return nullptr;
}

int part_id(const Part& part) { return static_cast<int>(&part - PARTS) + 1; }

std::uint32_t segment_a_start(const Part& part) { return part.info_end + 1 - part.info_segment; }

void fill_device_record(const Part& part, unsigned char* out) {
    DeviceRecord record{};
    record.set_word(DEV_MARK, DEVICE_RECORD_MARK);
    record.set_word(DEV_ID, static_cast<std::uint32_t>(part_id(part)));
    std::strncpy(record.data() + DEV_NAME, part.name, DEVICE_NAME_SIZE - 1);
    record.set_word(DEV_FLASH_START, part.flash_start);
    record.set_word(DEV_INFO_START, part.info_start);
    record.set_word(DEV_RAM_END, part.ram_end);
    record.set_word(DEV_BREAKPOINTS, static_cast<std::uint32_t>(part.breakpoints));
    record.set_word(DEV_EMULATION, static_cast<std::uint32_t>(part.emulation));
    record.set_word(DEV_CLK_CONTROL, static_cast<std::uint32_t>(part.clock_control));
    record.set_word(DEV_LCD_START, part.lcd_start);
    record.set_word(DEV_LCD_END, part.lcd_end);
    record.set_word(DEV_VCC_MIN, static_cast<std::uint32_t>(part.vcc_min_mv));
    record.set_word(DEV_VCC_MAX, static_cast<std::uint32_t>(part.vcc_max_mv));
    record.set_word(DEV_TEST_VPP, static_cast<std::uint32_t>(part.test_vpp));
    record.set_word(DEV_RAM_START, part.ram_start);
    // None of these parts has external RAM: equal bounds say so.
    record.set_word(DEV_EXT_RAM_START, 0);
    record.set_word(DEV_EXT_RAM_END, 0);
    record.set_word(DEV_INFO_END, part.info_end);
    record.set_dword(DEV_FLASH_END, part.flash_end);
    record.set_word(DEV_BSL_START, part.bsl_start);
    record.set_word(DEV_BSL_END, part.bsl_end);
    std::memcpy(out, record.bytes, DEVICE_RECORD_SIZE);
}
