// The simulator as the current generation of the library: the device database first, the found
// device's record cut to the caller's size, device types from 0, and the adapter with old
// firmware until its update.
#include "sim/current_generation.h"

#include <gtest/gtest.h>

#include "chip/parts.h"
#include "sim/sim_library.h"

namespace {

class CurrentGeneration : public ::testing::Test {
protected:
    void SetUp() override { reset_simulator(), reset_current_generation(); }
    void TearDown() override { reset_simulator(), reset_current_generation(); }

    fet_int open_device(const char* device = "DEVICE_UNKNOWN") { return current_open_device(device, "", 0, 0, 0); }
    std::pair<fet_int, std::string> error() {
        const fet_int number = sim.MSP430_Error_Number();
        return {number, sim.MSP430_Error_String(number)};
    }

    const FetLibrary& sim = *simulator_library();
};

std::vector<std::uint8_t> poisoned(std::size_t size) { return std::vector<std::uint8_t>(size, 0xEE); }

}  // namespace

TEST_F(CurrentGeneration, TheDeviceIsOpenedOnceTheDatabaseIsLoaded) {
    fet_int version = 0;
    ASSERT_EQ(current_initialize("TIUSB", &version), 0);
    EXPECT_EQ(version, 100);
    EXPECT_NE(open_device(), 0);
    EXPECT_EQ(error(), std::make_pair(fet_int{98}, std::string("Device database not loaded")));
    std::vector<std::uint8_t> record = poisoned(CURRENT_DEVICE_RECORD_SIZE + 8);
    EXPECT_NE(current_get_found_device(record.data(), DEVICE_RECORD_SIZE), 0);  // nothing found yet
    EXPECT_NE(current_reset(7, 1, 0), 0);
    EXPECT_EQ(error().first, 4);
    EXPECT_NE(current_load_device_db("devices.xml"), 0);
    ASSERT_EQ(current_load_device_db(nullptr), 0);
    EXPECT_NE(open_device("MSP430F149"), 0);  // another part than the one attached
    ASSERT_EQ(open_device(), 0);
    // Copied as far as asked, never beyond: an 80-byte buffer keeps what lies behind it.
    ASSERT_EQ(current_get_found_device(record.data(), DEVICE_RECORD_SIZE), 0);
    EXPECT_EQ(record[DEVICE_RECORD_SIZE - 1], 0);
    EXPECT_EQ(record[DEVICE_RECORD_SIZE], 0xEE);
    DeviceRecord first{};
    std::memcpy(first.bytes, record.data(), DEVICE_RECORD_SIZE);
    EXPECT_EQ(first.name(), "MSP430G2553");
    EXPECT_EQ(first.word(DEV_ID), 8u);  // numbered from 0
    EXPECT_EQ(first.word(DEV_FLASH_START), 0xC000u);
    ASSERT_EQ(current_get_found_device(record.data(), 1000), 0);
    EXPECT_EQ(record[CURRENT_DEVICE_RECORD_SIZE], 0xEE);
    EXPECT_EQ(open_device("g2553"), 0);
}

TEST_F(CurrentGeneration, DeviceTypesFromZeroToTheLast) {
    const auto parts = all_parts();
    const auto last = static_cast<fet_int>(parts.size()) - 1;
    std::vector<std::uint8_t> record = poisoned(DEVICE_RECORD_SIZE);
    EXPECT_NE(current_device(0, record.data(), DEVICE_RECORD_SIZE), 0);  // no instance yet
    EXPECT_EQ(error().first, 68);
    fet_int adapters = 0;
    ASSERT_EQ(current_get_number_of_usb_ifs(&adapters), 0);
    for (const fet_int index : {fet_int{0}, last}) {
        ASSERT_EQ(current_device(index, record.data(), DEVICE_RECORD_SIZE), 0);
        EXPECT_STREQ(reinterpret_cast<const char*>(record.data() + DEV_NAME), parts[index].name);
    }
    EXPECT_NE(current_device(last + 1, record.data(), DEVICE_RECORD_SIZE), 0);
    EXPECT_EQ(error(), std::make_pair(fet_int{3}, "No device with number " + std::to_string(last + 1) +
                                                      "; the simulator knows 0 to " + std::to_string(last)));
    EXPECT_NE(current_device(-1, record.data(), DEVICE_RECORD_SIZE), 0);
}

// OLDFW reports version -1 until its firmware was updated (the built-in file only), every later
// opening included; each step reports through the callback with the handle it was given.
TEST_F(CurrentGeneration, OldFirmwareUntilItsUpdate) {
    fet_int version = 0;
    ASSERT_EQ(current_initialize("oldfw", &version), 0);
    EXPECT_EQ(version, -1);
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> reported;
    static fet_int handle = 0;
    reported.clear();
    const FetFirmwareProgress record = [](std::uint32_t message, std::uint32_t percent, std::uint32_t,
                                          fet_int h) FET_CALLBACK {
        reported.emplace_back(message, percent), handle = h;
    };
    EXPECT_NE(current_fw_update("firmware.txt", record, 7), 0);
    EXPECT_TRUE(reported.empty());
    ASSERT_EQ(current_fw_update(nullptr, record, 7), 0);
    EXPECT_EQ(handle, 7);
    ASSERT_GE(reported.size(), 6u);
    EXPECT_EQ(reported.front().first, FIRMWARE_INIT);
    EXPECT_EQ(reported[reported.size() - 3], std::make_pair(FIRMWARE_BLOCK_DONE, std::uint32_t{100}));
    EXPECT_EQ(reported.back().first, FIRMWARE_DONE);
    ASSERT_EQ(current_initialize("OLDFW", &version), 0);
    EXPECT_EQ(version, 100);
}
