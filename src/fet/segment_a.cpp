#include "fet/segment_a.h"

#include <string>

namespace {

constexpr const char* NAME_PREFIX = "MSP430";
// Segment A is one of the four segments of information memory on every family that locks it.
constexpr std::uint32_t INFO_SEGMENTS = 4;

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool lockable_segment_a(const DeviceRecord& record, AddressRange& segment) {
    std::string name = record.name();
    if (name.starts_with(NAME_PREFIX)) name.erase(0, std::char_traits<char>::length(NAME_PREFIX));
    std::size_t digit = 0;
    bool fram = false;
    for (; digit < name.size() && letter(name[digit]); ++digit) fram = fram || name[digit] == 'R' || name[digit] == 'r';
    if (digit == 0 || digit == name.size() || fram) return false;
    const char family = name[digit];
    if (family != '2' && family != '5' && family != '6') return false;
    const std::uint32_t info_start = record.word(DEV_INFO_START), info_end = record.word(DEV_INFO_END);
    if (info_end <= info_start) return false;
    segment.last = info_end;
    segment.first = info_end + 1 - (info_end - info_start + 1) / INFO_SEGMENTS;
    return true;
}
