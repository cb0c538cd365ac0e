#include "sim/target.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "sim/sim_errors.h"

namespace {

MemoryImage image_of(std::initializer_list<std::pair<std::uint32_t, std::uint8_t>> bytes) {
    MemoryImage image;
    std::uint8_t previous = 0;
    for (const auto& [address, value] : bytes) EXPECT_TRUE(image.put(address, value, previous));
    return image;
}

struct Programmed {
    Target target;
    std::string why;

    Programmed(const char* part, std::initializer_list<std::pair<std::uint32_t, std::uint8_t>> bytes)
        : target(*find_part(part)) {
        target.set_segment_a_unlocked(true);
        EXPECT_EQ(target.program(image_of(bytes), why), SIM_OK) << why;
    }
};

}  // namespace

TEST(Target, WritesAndWithWhatIsThere) {
    Programmed chip("G2553", {{0xC000, 0x3C}});
    EXPECT_EQ(chip.target.program(image_of({{0xC000, 0xF5}}), chip.why), SIM_OK);
    EXPECT_EQ(chip.target.byte_at(0xC000), 0x34);
    EXPECT_EQ(chip.target.verify(image_of({{0xC000, 0xF5}}), chip.why), SIM_VERIFY_FAILED);
    EXPECT_EQ(chip.why, "Verification failed at 0xC000: the file has F5, the target 34");
}

TEST(Target, MainSegmentsAre512BytesAlignedAndClippedToFlash) {
    // The F149's flash begins at 0x1100, inside the segment 0x1000..0x11FF.
    Programmed chip("F149", {{0x1100, 0}, {0x11FF, 0}, {0x1200, 0}, {0x10FF, 0}});
    EXPECT_EQ(chip.target.erase_segment(0x1150, chip.why), SIM_OK) << chip.why;
    EXPECT_EQ(chip.target.byte_at(0x1100), 0xFF);
    EXPECT_EQ(chip.target.byte_at(0x11FF), 0xFF);
    EXPECT_EQ(chip.target.byte_at(0x1200), 0x00);
    EXPECT_EQ(chip.target.byte_at(0x10FF), 0x00);  // information memory is another region
}

TEST(Target, SegmentsAbove64K) {
    Programmed chip("F5438A", {{0xFFFF, 0}, {0x10000, 0}, {0x101FF, 0}, {0x10200, 0}});
    EXPECT_EQ(chip.target.erase_segment(0x10100, chip.why), SIM_OK) << chip.why;
    EXPECT_EQ(chip.target.byte_at(0xFFFF), 0x00);
    EXPECT_EQ(chip.target.byte_at(0x10000), 0xFF);
    EXPECT_EQ(chip.target.byte_at(0x101FF), 0xFF);
    EXPECT_EQ(chip.target.byte_at(0x10200), 0x00);
}

TEST(Target, InformationSegmentsFollowTheFamily) {
    Programmed g2553("G2553", {{0x103F, 0}, {0x1040, 0}, {0x107F, 0}, {0x1080, 0}});
    EXPECT_EQ(g2553.target.erase_segment(0x1050, g2553.why), SIM_OK);
    EXPECT_EQ(g2553.target.byte_at(0x103F), 0x00);
    EXPECT_EQ(g2553.target.byte_at(0x1040), 0xFF);
    EXPECT_EQ(g2553.target.byte_at(0x107F), 0xFF);
    EXPECT_EQ(g2553.target.byte_at(0x1080), 0x00);

    Programmed f5529("F5529", {{0x1800, 0}, {0x187F, 0}, {0x1880, 0}});
    EXPECT_EQ(f5529.target.erase_segment(0x1840, f5529.why), SIM_OK);
    EXPECT_EQ(f5529.target.byte_at(0x1800), 0xFF);
    EXPECT_EQ(f5529.target.byte_at(0x187F), 0xFF);
    EXPECT_EQ(f5529.target.byte_at(0x1880), 0x00);
}

TEST(Target, SegmentALockOnTheF5xx) {
    Programmed chip("F5438A", {{0x1980, 0x12}, {0x197F, 0x34}});
    chip.target.set_segment_a_unlocked(false);
    EXPECT_EQ(chip.target.erase_segment(0x19FF, chip.why), SIM_SEGMENT_LOCKED);
    EXPECT_EQ(chip.why, "Information segment A (1980..19FF) is locked; unlock the information memory first");
    EXPECT_EQ(chip.target.erase_all(chip.why), SIM_OK);
    EXPECT_EQ(chip.target.byte_at(0x1980), 0x12);
    EXPECT_EQ(chip.target.byte_at(0x197F), 0xFF);
}

TEST(Target, EraseMainLeavesInformationMemory) {
    Programmed chip("G2553", {{0x1000, 0x11}, {0xFFFE, 0x00}});
    EXPECT_EQ(chip.target.erase_main(chip.why), SIM_OK);
    EXPECT_EQ(chip.target.byte_at(0xFFFE), 0xFF);
    EXPECT_EQ(chip.target.byte_at(0x1000), 0x11);
}

TEST(Target, RangesMustLieInMemory) {
    Target target(*find_part("G2553"));
    std::string why;
    std::vector<std::uint8_t> out;
    EXPECT_EQ(target.read(0xFFFF, 1, out, why), SIM_OK);
    EXPECT_EQ(target.read(0xFFFF, 2, out, why), SIM_OUTSIDE_MEMORY);
    EXPECT_EQ(why, "Address 0x10000 is outside the flash and information memory of MSP430G2553");
    EXPECT_EQ(target.read(0xC000, 0, out, why), SIM_BAD_ARGUMENT);
    EXPECT_EQ(target.erase_segment(0x0200, why), SIM_OUTSIDE_MEMORY);
    EXPECT_EQ(target.erase_check(0xFFFFFFFF, 1, why), SIM_OUTSIDE_MEMORY);
}
