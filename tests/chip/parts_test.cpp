// The comparison with the vendor's device database is with the end-to-end tests.
#include "chip/parts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

bool family(const Part& p, std::initializer_list<const char*> prefixes) {
    for (const char* prefix : prefixes)
        if (std::strncmp(p.name, prefix, std::strlen(prefix)) == 0) return true;
    return false;
}

// No memory of these parts starts or ends off a 128-byte block.
TEST(Parts, EveryMemoryMapIsSane) {
    std::set<std::string> names;
    for (const Part& p : all_parts()) {
        SCOPED_TRACE(p.name);
        EXPECT_TRUE(names.insert(p.name).second && find_part(p.name) == &p) << "named twice";
        EXPECT_LT(std::string(p.name).size(), static_cast<std::size_t>(DEVICE_NAME_SIZE));
        const std::uint32_t ranges[][2] = {
            {p.flash_start, p.flash_end}, {p.info_start, p.info_end}, {p.ram_start, p.ram_end}, {p.bsl_start, p.bsl_end}};
        for (const auto& a : ranges) {
            EXPECT_TRUE(a[0] <= a[1] && a[1] <= (&a == &ranges[0] ? 0xFFFFFu : 0xFFFFu)) << std::hex << a[0];
            EXPECT_TRUE((a[0] == 0 && a[1] == 0) || (a[0] % 128 == 0 && (a[1] + 1) % 128 == 0)) << std::hex << a[0];
            for (const auto& b : ranges)
                EXPECT_TRUE(&a == &b || a[0] == a[1] || b[0] == b[1] || a[1] < b[0] || b[1] < a[0]) << std::hex << a[0];
        }
        EXPECT_TRUE(p.flash_start <= 0xFFFE && p.flash_end >= 0xFFFF) << "the reset vector lies in flash";
        EXPECT_TRUE(p.ram_start >= 0x200 && p.ram_end - p.ram_start >= 127);
        // The F4xx's 20 bytes from 0x91, or a block from a 32-byte boundary.
        const std::uint32_t lcd_size = p.lcd_end - p.lcd_start + 1;
        EXPECT_TRUE((p.lcd_start == 0 && p.lcd_end == 0) || (p.lcd_start == 0x91 && lcd_size == 20) ||
                    (p.lcd_start % 32 == 0 && (lcd_size == 20 || lcd_size == 24)))
            << std::hex << p.lcd_start;
        const bool f2_g2 = family(p, {"MSP430F2", "MSP430G2"});
        EXPECT_EQ(p.info_segment, f2_g2 ? 64u : 128u);
        EXPECT_EQ(p.lockable_a, f2_g2 || family(p, {"MSP430F5", "MSP430F6"}));
        EXPECT_EQ(p.memory, family(p, {"MSP430FR"}) ? FRAM : FLASH);
        // The fuse is blown through the TEST pin on the parts that have one.
        EXPECT_EQ(p.test_vpp, family(p, {"MSP430F12", "MSP430F20", "MSP430F22", "MSP430G2"}) ? 1 : 0);
        EXPECT_EQ((p.info_end + 1 - p.info_start) % p.info_segment, 0u);
        EXPECT_EQ(p.main_segment, 512u);
        EXPECT_EQ(p.vcc_min_mv, 1800);
        EXPECT_EQ(p.vcc_max_mv, 3600);
    }
}

}  // namespace
