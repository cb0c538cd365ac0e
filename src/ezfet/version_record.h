// The version record an eZ-FET sends when the library opens it, and the words in it that
// library release 3.15.1.1 compares with the firmware images built into it: when any differs,
// MSP430_Initialize reports that the adapter needs an update (version -1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One compared word: where it sits in the record, its value, and where the library's built-in
// image of that firmware part holds the word it compares it with (image name, word address).
struct EzFetVersionWord {
    const char* field;
    std::size_t offset;
    std::uint16_t value;
    const char* image;
    std::uint32_t image_address;
};

inline constexpr EzFetVersionWord EZFET_VERSION_WORDS[] = {
    {"HAL version", 0, 0x8C00, "eZ_FetHalImage", 0x1908},
    {"core version", 10, 0x001D, "eZ_FetCoreImage", 0x4404},
    {"HIL version", 12, 0x000D, "eZ_FetHilImage", 0x18F6},
    {"DC-DC layer version", 14, 0x0005, "eZ_FetDcdcImage", 0x1804},
    {"COM channel version", 18, 0x0009, "eZ_FetComChannelImage", 0x1984},
    {"HIL checksum", 20, 0x9277, "eZ_FetHilImage", 0x18FA},
    {"HAL checksum", 22, 0x4626, "eZ_FetHalImage", 0x197A},
    {"DC-DC checksum", 24, 0x8D7B, "eZ_FetDcdcImage", 0x187A},
    {"core checksum", 26, 0x03B3, "eZ_FetCoreImage", 0x4402},
    {"COM channel checksum", 28, 0x57DA, "eZ_FetComChannelImage", 0x19FA},
};

// The eZ-FET lite of the LaunchPads: fixed supply, no DC-DC sub-controller.
inline constexpr std::uint16_t EZFET_TOOL_ID = 0xAAAB;
inline constexpr std::size_t EZFET_VERSION_RECORD_SIZE = 40;
inline constexpr std::size_t EZFET_HIL_CHECKSUM_OFFSET = 20;

// The 40-byte record; an adapter with old firmware carries another HIL checksum.
std::vector<std::uint8_t> ezfet_version_record(bool old_firmware);
