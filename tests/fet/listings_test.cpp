#include "fet/listings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "base/run_settings.h"
#include "support/fake_fet.h"

// Its result follows its output after a "|".
static FakeRun listing(int (*list)(), int level = 2) {
    return run_with_fake([list, level] { settings.print_level = level, std::printf("|%d", list()); });
}

static FakeFet& with_devices(const std::vector<std::string>& names) {
    FakeFet& fake = fake_fet_reset();
    for (const std::string& name : names) fake.devices.push_back(make_device_record(name.c_str(), 1));
    return fake;
}

const std::string HEAD = "\nThe devices supported by the driver:\n";

TEST(Listings, DevicesTwoAColumnUntilEndOfDevicesOrAFailure) {
    with_devices({"MSP430F149", "MSP430G2553", "MSP430F5438A"});
    const FakeRun run = listing(list_devices);
    EXPECT_EQ(run.out.text, HEAD + "ID:1   MSP430F149               ID:2   MSP430G2553              \n"
                                   "ID:3   MSP430F5438A             |0");  // no line end after an odd count
    EXPECT_EQ(run.calls, "MSP430_Device(1,80) MSP430_Device(2,80) MSP430_Device(3,80) MSP430_Device(4,80)");
    with_devices({"MSP430F149", "end_of_devices", "End_of_devices", "MSP430F5529"});  // only the exact word
    EXPECT_EQ(listing(list_devices).out.text, HEAD + "ID:1   MSP430F149               ID:2   end_of_devices           \n|0");
    // A name filling all 32 bytes is cut at the field's end.
    std::memset(with_devices({std::string(25, 'b'), ""}).devices[1].bytes + DEV_NAME, 'z', DEVICE_NAME_SIZE);
    EXPECT_EQ(listing(list_devices).out.text,
              HEAD + "ID:1   " + std::string(25, 'b') + " ID:2   " + std::string(31, 'z') + " \n|0");
    with_devices({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});  // the columns stay with two digits
    EXPECT_NE(listing(list_devices).out.text.find("ID:9   9                        ID:10  10                       \n|0"),
              std::string::npos);
    with_devices({"MSP430F1121", "x"}).fail("MSP430_Device", 2);
    EXPECT_EQ(listing(list_devices).out.text, HEAD + "ID:1   MSP430F1121              |0");
    with_devices({"MSP430F149", "MSP430G2553", "MSP430F5438A"});
    fet_generation = FetGeneration::current;
    const FakeRun from_zero = listing(list_devices);
    EXPECT_EQ(from_zero.out.text, HEAD + "ID:0   MSP430F149               ID:1   MSP430G2553              \n"
                                   "ID:2   MSP430F5438A             |0");
    EXPECT_EQ(from_zero.calls, "MSP430_Device(0,80) MSP430_Device(1,80) MSP430_Device(2,80) MSP430_Device(3,80)");
}

TEST(Listings, AdaptersAndFailures) {
    fake_fet_reset().usb_ifs = {{"HID1", false}, {"/dev/ttyACM0", true}};
    EXPECT_EQ(listing(list_fet_ports).out.text, "\nFound: HID1 -Free\n       /dev/ttyACM0 -Already Used\n|0");
    fake_fet.usb_ifs.clear();
    EXPECT_EQ(listing(list_fet_ports).out.text, "FET Port not Found\n|1");
    fake_fet_reset().fail("MSP430_GetNumberOfUsbIfs");
    EXPECT_EQ(listing(list_fet_ports).out.text, "Get Nuber of USBIF -Fake error text\n|1");
    EXPECT_EQ(listing(list_fet_ports, 3).out.text, " -Fake error text\n|1");
    fake_fet_reset().usb_ifs = {{"HID1", false}, {"HID2", false}, {"HID3", false}};
    fake_fet.fail("MSP430_GetNameOfUsbIf", 2);
    EXPECT_EQ(listing(list_fet_ports).out.text, "\nFound: HID1 -Free\n -Fake error text\n|1");
}
