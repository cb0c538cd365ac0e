// Information segment A: the top segment of information memory, which holds the factory
// calibration and which the flash controller of some families keeps locked until the
// information memory is unlocked.
#pragma once

#include <cstdint>

#include "base/fet_interface.h"

struct AddressRange {
    std::uint32_t first = 0, last = 0;
};

// True when the part has a lockable segment A, with its bounds in `segment`. The record does
// not say so itself: the family in the part's name does (the F2xx, G2xx, F5xx and F6xx flash
// parts; not the older F1xx and F4xx, nor FRAM parts).
bool lockable_segment_a(const DeviceRecord& record, AddressRange& segment);
