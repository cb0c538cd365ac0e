// The simulated target: its flash and information memory, the segment A lock, the security
// fuse and the supply.
//
// Flash behaves as on the chip: erased it reads 0xFF, and programming can only clear bits (a
// write ANDs with what is there), so programming twice without an erase leaves the AND of
// both images. FRAM takes each byte as written, so there the second image stands. Each
// operation returns SIM_OK or an error number, with `why` filled in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/memory_image.h"
#include "chip/parts.h"

class Target {
public:
    // A part as it leaves the factory: every memory byte 0xFF but the DCO calibration a G2553
    // keeps in segment A, segment A locked, fuse intact, supplied at 3.0 V by the adapter.
    explicit Target(const Part& part);

    const Part& part() const { return *part_; }

    // 0 switches the supply off; otherwise 1800 to 3600 mV.
    int set_supply(long millivolts, std::string& why);

    void set_segment_a_unlocked(bool unlocked) { segment_a_unlocked_ = unlocked; }
    int blow_fuse(std::string& why);

    // Erases the segment that holds address, of main or information memory.
    int erase_segment(std::uint32_t address, std::string& why);
    // Erases main and information memory; segment A only while it is unlocked.
    int erase_all(std::string& why);
    // Erases main memory only.
    int erase_main(std::string& why);
    // SIM_NOT_BLANK names the first byte that is not 0xFF.
    int erase_check(std::uint32_t address, std::uint32_t length, std::string& why);

    // SIM_OK when every byte of the image may be programmed: inside flash or information
    // memory, and outside a locked segment A.
    int check_placement(const MemoryImage& image, std::string& why) const;
    // Checks the placement first, so that an image the part cannot take writes nothing.
    int program(const MemoryImage& image, std::string& why);
    // Names the first address whose byte differs, with both values.
    int verify(const MemoryImage& image, std::string& why);
    int read(std::uint32_t address, std::uint32_t length, std::vector<std::uint8_t>& out, std::string& why);

    // The byte at address, or -1 when the part has no flash there.
    int byte_at(std::uint32_t address) const;

    // SIM_OK when JTAG can reach the target: it is supplied and its fuse is intact.
    int check_access(std::string& why) const;

private:
    const std::uint8_t* cell(std::uint32_t address) const;
    std::uint8_t* cell(std::uint32_t address);
    bool in_segment_a(std::uint32_t address) const;
    int check_range(std::uint32_t address, std::uint32_t length, std::string& why) const;
    void fill(std::uint32_t first, std::uint32_t last);

    const Part* part_;
    std::vector<std::uint8_t> main_;
    std::vector<std::uint8_t> info_;
    bool segment_a_unlocked_ = false;
    bool fuse_blown_ = false;
    long supply_mv_ = 3000;
};
