#include "fet/listings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run_settings.h"
#include "fet/fet_library.h"
#include "support/fake_fet.h"

namespace {

const std::string DEVICES_HEAD = "\nThe devices supported by the driver:\n";

// Runs one listing against the fake as scripted; its result follows its output after a "|".
FakeRun listing(int (*list)(), int print_level = 2) {
    return run_with_fake([list, print_level] {
        settings.print_level = print_level;
        const int result = list();
        std::printf("|%d", result);
    });
}

void set_devices(FakeFet& f, const std::vector<std::string>& names) {
    f.devices.clear();
    for (const std::string& name : names) f.devices.push_back(make_device_record({.name = name}));
}

}  // namespace

TEST(ListDevices, TwoDevicesALineAndNoLineEndAfterAnOddLastId) {
    FakeFet& f = fake_fet_reset();
    set_devices(f, {"MSP430F149", "MSP430G2553", "MSP430F5438A"});
    const FakeRun run = listing(list_devices);
    EXPECT_EQ(run.out.text, DEVICES_HEAD +
                                "ID:1   MSP430F149               ID:2   MSP430G2553              \n"
                                "ID:3   MSP430F5438A             |0");
    // Never opened or closed: a listing needs no adapter.
    EXPECT_EQ(run.calls, (std::vector<std::string>{"MSP430_Device(1,80)", "MSP430_Device(2,80)",
                                                   "MSP430_Device(3,80)", "MSP430_Device(4,80)"}));
}

TEST(ListDevices, EndOfDevicesEndsTheListUnprinted) {
    FakeFet& f = fake_fet_reset();
    set_devices(f, {"MSP430F149", "MSP430F2013", "End_of_devices", "MSP430F5529"});
    const FakeRun run = listing(list_devices);
    EXPECT_EQ(run.out.text, DEVICES_HEAD + "ID:1   MSP430F149               ID:2   MSP430F2013              \n|0");
    EXPECT_EQ(run.calls.size(), 3u);
    // Only the exact word ends it; case counts.
    set_devices(f, {"end_of_devices", "End_of_devices2"});
    EXPECT_EQ(listing(list_devices).out.text,
              DEVICES_HEAD + "ID:1   end_of_devices           ID:2   End_of_devices2          \n|0");
}

TEST(ListDevices, LongNamesAreShownWholeWithOneBlank) {
    FakeFet& f = fake_fet_reset();
    const std::string name24(24, 'a'), name25(25, 'b'), name30 = "MSP430FR5994_with_a_long_namex", name31(31, 'c');
    ASSERT_EQ(name30.size(), 30u);
    set_devices(f, {name24, name25, name30, name31});
    EXPECT_EQ(listing(list_devices).out.text, DEVICES_HEAD + "ID:1   " + name24 + " ID:2   " + name25 + " \nID:3   " +
                                                  name30 + " ID:4   " + name31 + " \n|0");
}

TEST(ListDevices, ANameWithoutTerminatorStopsAtTheFieldEnd) {
    // A library that fills all 32 bytes of the name must not make the listing read on.
    FakeFet& f = fake_fet_reset();
    DeviceRecord record = make_device_record({});
    std::memset(record.bytes + DEV_NAME, 'z', DEVICE_NAME_SIZE);
    f.devices = {record};
    EXPECT_EQ(listing(list_devices).out.text, DEVICES_HEAD + "ID:1   " + std::string(31, 'z') + " |0");
}

TEST(ListDevices, AFailingCallIsTheQuietEndOfTheList) {
    FakeFet& f = fake_fet_reset();
    f.fail("MSP430_Device", 1);
    EXPECT_EQ(listing(list_devices).out.text, DEVICES_HEAD + "|0");
    fake_fet_reset().fail("MSP430_Device", 2);
    EXPECT_EQ(listing(list_devices).out.text, DEVICES_HEAD + "ID:1   MSP430F1121              |0");
}

TEST(ListDevices, IdsAboveNineKeepTheirColumns) {
    FakeFet& f = fake_fet_reset();
    std::vector<std::string> names;
    for (int i = 1; i <= 12; ++i) names.push_back("D" + std::to_string(i));
    set_devices(f, names);
    const std::string text = listing(list_devices).out.text;
    EXPECT_NE(text.find("\nID:9   D9                       ID:10  D10                      \n"
                        "ID:11  D11                      ID:12  D12                      \n|0"),
              std::string::npos)
        << text;
}

TEST(ListFetPorts, NoAdapter) {
    fake_fet_reset().usb_ifs.clear();
    EXPECT_EQ(listing(list_fet_ports).out.text, "FET Port not Found\n|1");
}

TEST(ListFetPorts, TwoAdaptersTheSecondInUse) {
    fake_fet_reset().usb_ifs = {{"HID1", false}, {"/dev/ttyACM0", true}};
    const FakeRun run = listing(list_fet_ports);
    EXPECT_EQ(run.out.text, "\nFound: HID1 -Free\n       /dev/ttyACM0 -Already Used\n|0");
    EXPECT_EQ(run.calls, (std::vector<std::string>{"MSP430_GetNumberOfUsbIfs()", "MSP430_GetNameOfUsbIf(0)",
                                                   "MSP430_GetNameOfUsbIf(1)"}));
}

TEST(ListFetPorts, FailedCountIsReportedWithItsTitleAtTheDefaultLevel) {
    FakeFet& f = fake_fet_reset();
    f.error_text = "USB interface busy";
    f.fail("MSP430_GetNumberOfUsbIfs");
    EXPECT_EQ(listing(list_fet_ports).out.text, "Get Nuber of USBIF -USB interface busy\n|1");
    // Above level 2 only the library's text.
    EXPECT_EQ(listing(list_fet_ports, 3).out.text, " -USB interface busy\n|1");
}

TEST(ListFetPorts, FailedNameKeepsTheLinesAlreadyShown) {
    FakeFet& f = fake_fet_reset();
    f.usb_ifs = {{"HID1", false}, {"HID2", false}, {"HID3", false}};
    f.error_text = "No such interface";
    f.fail("MSP430_GetNameOfUsbIf", 2);
    const FakeRun run = listing(list_fet_ports);
    EXPECT_EQ(run.out.text, "\nFound: HID1 -Free\n -No such interface\n|1");
    EXPECT_EQ(run.calls.back(), "MSP430_Error_String(17)");
}
