// The simulated parts' table comes from their data sheets.
#include "fet/segment_a.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "chip/parts.h"

TEST(SegmentA, TheNameRuleAgreesWithEverySimulatedPart) {
    for (const Part& part : all_parts()) {
        SCOPED_TRACE(part.name);
        DeviceRecord record;
        fill_device_record(part, record.bytes);
        AddressRange a;
        ASSERT_EQ(lockable_segment_a(record, a), part.lockable_a);
        if (!part.lockable_a) continue;
        EXPECT_EQ(a.first, segment_a_start(part));
        EXPECT_EQ(a.last, part.info_end);
    }
    for (const char* name : {"MSP430FR5969", "MSP430", "F2274"}) {
        DeviceRecord record;
        fill_device_record(default_part(), record.bytes);
        std::snprintf(reinterpret_cast<char*>(record.bytes + DEV_NAME), DEVICE_NAME_SIZE, "%s", name);
        AddressRange a;
        EXPECT_EQ(lockable_segment_a(record, a), std::string(name) == "F2274") << name;
    }
}
