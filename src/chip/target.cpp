#include "chip/target.h"

#include <algorithm>
#include <string_view>

#include "base/error_text.h"
#include "chip/clock.h"
#include "chip/sim_errors.h"

namespace {

constexpr long VCC_MIN_MV = 1800;
constexpr long VCC_MAX_MV = 3600;

}  // namespace

Target::Target(const Part& part)
    : part_(&part),
      main_(part.flash_end - part.flash_start + 1, 0xFF),
      info_(part.info_end - part.info_start + 1, 0xFF) {
    // A G2553 leaves the factory with its DCO calibrated: the constants sit in segment A, so erasing
    // that segment loses them as on the chip.
    if (std::string_view(part.name) == "MSP430G2553") {
        std::uint32_t at = CALIBRATION_ADDRESS;
        for (const DcoCalibration& c : DCO_CALIBRATIONS) {
            *cell(at++) = c.dcoctl;
            *cell(at++) = c.bcsctl1;
        }
    }
}

int Target::set_supply(long millivolts, std::string& why) {
    if (millivolts != 0 && (millivolts < VCC_MIN_MV || millivolts > VCC_MAX_MV)) {
        why = error_text("Vcc of %ld mV is out of range: 0 (off) or %ld to %ld mV", millivolts, VCC_MIN_MV,
                         VCC_MAX_MV);
        return SIM_VCC_RANGE;
    }
    supply_mv_ = millivolts;
    return SIM_OK;
}

int Target::check_access(std::string& why) const {
    if (fuse_blown_) {
        why = "The Debug Interface to the device has been secured: the security fuse is blown";
        return SIM_FUSE_BLOWN;
    }
    if (supply_mv_ == 0) {
        why = "The target has no supply: Vcc was switched off";
        return SIM_NO_DEVICE;
    }
    return SIM_OK;
}

int Target::blow_fuse(std::string& why) {
    if (const int error = check_access(why)) return error;
    fuse_blown_ = true;
    return SIM_OK;
}

const std::uint8_t* Target::cell(std::uint32_t address) const {
    if (address >= part_->flash_start && address <= part_->flash_end) return &main_[address - part_->flash_start];
    if (address >= part_->info_start && address <= part_->info_end) return &info_[address - part_->info_start];
    return nullptr;
}

std::uint8_t* Target::cell(std::uint32_t address) {
    return const_cast<std::uint8_t*>(static_cast<const Target*>(this)->cell(address));
}

int Target::byte_at(std::uint32_t address) const {
    const std::uint8_t* at = cell(address);
    return at ? *at : -1;
}

bool Target::in_segment_a(std::uint32_t address) const {
    return part_->lockable_a && address >= segment_a_start(*part_) && address <= part_->info_end;
}

int Target::check_range(std::uint32_t address, std::uint32_t length, std::string& why) const {
    if (length == 0) {
        why = error_text("Empty range at 0x%04X", address);
        return SIM_BAD_ARGUMENT;
    }
    for (std::uint64_t at = address; at < std::uint64_t{address} + length; ++at) {
        if (byte_at(static_cast<std::uint32_t>(at)) < 0) {
            why = error_text("Address 0x%04llX is outside the flash and information memory of %s",
                             static_cast<unsigned long long>(at), part_->name);
            return SIM_OUTSIDE_MEMORY;
        }
    }
    return SIM_OK;
}

void Target::fill(std::uint32_t first, std::uint32_t last) {
    for (std::uint32_t at = first; at <= last; ++at) *cell(at) = 0xFF;
}

int Target::erase_segment(std::uint32_t address, std::string& why) {
    if (const int error = check_access(why)) return error;
    const bool main = address >= part_->flash_start && address <= part_->flash_end;
    const bool info = address >= part_->info_start && address <= part_->info_end;
    if (!main && !info) return check_range(address, 1, why);
    if (in_segment_a(address) && !segment_a_unlocked_) {
        why = error_text("Information segment A (%04X..%04X) is locked; unlock the information memory first",
                         segment_a_start(*part_), part_->info_end);
        return SIM_SEGMENT_LOCKED;
    }
    // Segments are aligned to their size; a region that starts inside one (main memory at
    // 0x1100 on some parts) erases only its own part of it.
    const std::uint32_t size = main ? part_->main_segment : part_->info_segment;
    const std::uint32_t region_start = main ? part_->flash_start : part_->info_start;
    const std::uint32_t region_end = main ? part_->flash_end : part_->info_end;
    const std::uint32_t first = std::max(address & ~(size - 1), region_start);
    const std::uint32_t last = std::min((address & ~(size - 1)) + size - 1, region_end);
    fill(first, last);
    return SIM_OK;
}

int Target::erase_main(std::string& why) {
    if (const int error = check_access(why)) return error;
    fill(part_->flash_start, part_->flash_end);
    return SIM_OK;
}

int Target::erase_all(std::string& why) {
    if (const int error = erase_main(why)) return error;
    const std::uint32_t info_last =
        (part_->lockable_a && !segment_a_unlocked_) ? segment_a_start(*part_) - 1 : part_->info_end;
    fill(part_->info_start, info_last);
    return SIM_OK;
}

int Target::erase_check(std::uint32_t address, std::uint32_t length, std::string& why) {
    if (const int error = check_access(why)) return error;
    if (const int error = check_range(address, length, why)) return error;
    for (std::uint32_t at = address; at - address < length; ++at) {
        const int value = byte_at(at);
        if (value != 0xFF) {
            why = error_text("Verification error: flash not blank at 0x%04X, it holds %02X", at, value);
            return SIM_NOT_BLANK;
        }
    }
    return SIM_OK;
}

int Target::check_placement(const MemoryImage& image, std::string& why) const {
    if (image.empty()) return SIM_OK;
    for (std::uint32_t at = image.lowest(); at <= image.highest(); ++at) {
        if (!image.has(at)) continue;
        if (byte_at(at) < 0) {
            why = error_text("The image has data at 0x%04X, outside the flash and information memory of %s", at,
                             part_->name);
            return SIM_OUTSIDE_MEMORY;
        }
        if (in_segment_a(at) && !segment_a_unlocked_) {
            why = error_text("The image has data at 0x%04X in information segment A, which is locked", at);
            return SIM_SEGMENT_LOCKED;
        }
    }
    return SIM_OK;
}

int Target::program(const MemoryImage& image, std::string& why) {
    if (const int error = check_access(why)) return error;
    if (const int error = check_placement(image, why)) return error;
    if (image.empty()) return SIM_OK;
    for (std::uint32_t at = image.lowest(); at <= image.highest(); ++at) {
        if (!image.has(at)) continue;
        std::uint8_t& byte = *cell(at);
        byte = part_->memory == FRAM ? image.at(at) : byte & image.at(at);
    }
    return SIM_OK;
}

int Target::verify(const MemoryImage& image, std::string& why) {
    if (const int error = check_access(why)) return error;
    if (image.empty()) return SIM_OK;
    for (std::uint32_t at = image.lowest(); at <= image.highest(); ++at) {
        if (!image.has(at)) continue;
        const int value = byte_at(at);
        if (value < 0) {
            why = error_text("The image has data at 0x%04X, outside the flash and information memory of %s", at,
                             part_->name);
            return SIM_OUTSIDE_MEMORY;
        }
        if (value != image.at(at)) {
            why = error_text("Verification error at 0x%04X: the file has %02X, the target %02X", at, image.at(at),
                             value);
            return SIM_VERIFY_FAILED;
        }
    }
    return SIM_OK;
}

int Target::read(std::uint32_t address, std::uint32_t length, std::vector<std::uint8_t>& out, std::string& why) {
    if (const int error = check_access(why)) return error;
    if (const int error = check_range(address, length, why)) return error;
    out.resize(length);
    for (std::uint32_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(byte_at(address + i));
    return SIM_OK;
}
