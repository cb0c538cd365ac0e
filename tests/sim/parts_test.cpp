#include "sim/parts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

bool overlap(std::uint32_t a_start, std::uint32_t a_end, std::uint32_t b_start, std::uint32_t b_end) {
    return a_start <= b_end && b_start <= a_end;
}

}  // namespace

TEST(Parts, EveryMemoryMapIsSane) {
    std::set<std::string> names;
    for (const Part& p : all_parts()) {
        SCOPED_TRACE(p.name);
        EXPECT_TRUE(names.insert(p.name).second) << "named twice";
        EXPECT_EQ(std::string(p.name).rfind("MSP430", 0), 0u);
        EXPECT_LT(std::string(p.name).size(), static_cast<std::size_t>(DEVICE_NAME_SIZE));
        // Ranges ordered and inside the 1 MB address space; all but main flash below 64K.
        EXPECT_LT(p.flash_start, p.flash_end);
        EXPECT_LE(p.flash_end, 0xFFFFFu);
        EXPECT_LT(p.info_start, p.info_end);
        EXPECT_LT(p.ram_start, p.ram_end);
        EXPECT_LE(p.bsl_start, p.bsl_end);
        EXPECT_LE(p.lcd_start, p.lcd_end);
        for (std::uint32_t end : {p.info_end, p.ram_end, p.bsl_end, p.lcd_end}) EXPECT_LE(end, 0xFFFFu);
        // The reset vector at 0xFFFE lies in main flash on every MSP430.
        EXPECT_LE(p.flash_start, 0xFFFEu);
        EXPECT_GE(p.flash_end, 0xFFFFu);
        // Memories do not overlap, and peripherals (below 0x200) hold only the LCD memory.
        EXPECT_FALSE(overlap(p.flash_start, p.flash_end, p.info_start, p.info_end));
        EXPECT_FALSE(overlap(p.flash_start, p.flash_end, p.ram_start, p.ram_end));
        EXPECT_FALSE(overlap(p.info_start, p.info_end, p.ram_start, p.ram_end));
        if (p.bsl_end != p.bsl_start) {
            EXPECT_FALSE(overlap(p.bsl_start, p.bsl_end, p.flash_start, p.flash_end));
            EXPECT_FALSE(overlap(p.bsl_start, p.bsl_end, p.info_start, p.info_end));
            EXPECT_FALSE(overlap(p.bsl_start, p.bsl_end, p.ram_start, p.ram_end));
        }
        EXPECT_GE(p.ram_start, 0x200u);
        // Sizes: whole segments of information memory, at least 128 bytes of RAM, 1K of flash.
        const std::uint32_t info_size = p.info_end - p.info_start + 1;
        EXPECT_TRUE(p.info_segment == 64 || p.info_segment == 128);
        EXPECT_EQ(info_size % p.info_segment, 0u);
        EXPECT_EQ(p.info_start % p.info_segment, 0u);
        EXPECT_EQ(p.main_segment, 512u);
        EXPECT_EQ((p.flash_end + 1) % p.main_segment, 0u);
        EXPECT_GE(p.ram_end - p.ram_start + 1, 128u);
        EXPECT_GE(p.flash_end - p.flash_start + 1, 1024u);
        EXPECT_EQ((p.ram_end + 1) % 128, 0u);
        EXPECT_GE(p.vcc_min_mv, 1800);
        EXPECT_LE(p.vcc_max_mv, 3600);
        EXPECT_LT(p.vcc_min_mv, p.vcc_max_mv);
        EXPECT_GE(p.breakpoints, 2);
        EXPECT_LE(p.breakpoints, 8);
    }
}

TEST(Parts, TheTableCoversTheFamilies) {
    const auto parts = all_parts();
    EXPECT_GE(parts.size(), 12u);
    int above_64k = 0, with_lcd = 0;
    for (const Part& p : parts) {
        above_64k += p.flash_end > 0xFFFF;
        with_lcd += p.lcd_start != 0;
    }
    EXPECT_GE(above_64k, 3);
    EXPECT_GE(with_lcd, 3);
    for (const char* name : {"MSP430F149", "MSP430F2274", "MSP430G2553", "MSP430F449", "MSP430F5438A", "MSP430F6638"})
        EXPECT_NE(find_part(name), nullptr) << name;
}

TEST(Parts, NamesAreFoundWithOrWithoutThePrefixCaseIgnored) {
    const Part* g2553 = find_part("MSP430G2553");
    ASSERT_NE(g2553, nullptr);
    EXPECT_EQ(find_part("g2553"), g2553);
    EXPECT_EQ(find_part("msp430G2553"), g2553);
    EXPECT_EQ(&default_part(), g2553);
    EXPECT_EQ(find_part("G255"), nullptr);
    EXPECT_EQ(find_part("G25533"), nullptr);
    EXPECT_EQ(find_part("MSP430"), nullptr);
    EXPECT_EQ(find_part(""), nullptr);
}

TEST(Parts, TheRecordCarriesEveryField) {
    const Part& p = *find_part("F6638");
    DeviceRecord record{};
    std::fill(std::begin(record.bytes), std::end(record.bytes), 0xEE);
    fill_device_record(p, record.bytes);
    EXPECT_EQ(record.word(DEV_ID), static_cast<std::uint32_t>(part_id(p)));
    EXPECT_STREQ(record.name(), "MSP430F6638");
    EXPECT_EQ(record.word(DEV_FLASH_START), 0x8000u);
    EXPECT_EQ(record.dword(DEV_FLASH_END), 0x47FFFu);
    EXPECT_EQ(record.word(DEV_INFO_START), 0x1800u);
    EXPECT_EQ(record.word(DEV_INFO_END), 0x19FFu);
    EXPECT_EQ(record.word(DEV_RAM_START), 0x2400u);
    EXPECT_EQ(record.word(DEV_RAM_END), 0x63FFu);
    EXPECT_EQ(record.word(DEV_BSL_START), 0x1000u);
    EXPECT_EQ(record.word(DEV_BSL_END), 0x17FFu);
    EXPECT_EQ(record.word(DEV_LCD_START), 0x0A20u);
    EXPECT_EQ(record.word(DEV_LCD_END), 0x0A3Fu);
    EXPECT_EQ(record.word(DEV_EXT_RAM_START), record.word(DEV_EXT_RAM_END));
    EXPECT_EQ(record.word(DEV_BREAKPOINTS), 8u);
    EXPECT_EQ(record.word(DEV_VCC_MIN), 1800u);
    EXPECT_EQ(record.word(DEV_VCC_MAX), 3600u);
    // The name field is terminated and the unused bytes are cleared.
    EXPECT_EQ(record.bytes[DEV_NAME + 11], 0);
    EXPECT_EQ(record.bytes[0], 0);
    EXPECT_EQ(record.bytes[79], 0);
}
