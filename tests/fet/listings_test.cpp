#include "fet/listings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run_settings.h"
#include "fet/fet_library.h"
#include "support/capture.h"

namespace {

// A library that knows only what the listings ask: a device list and a list of adapters.
struct ListingScript {
    std::vector<std::string> devices;  // id 1 is devices[0]; past the end the call fails
    fet_int count_status = 0;
    std::vector<std::string> adapters;
    std::vector<bool> in_use;
    int failing_name_index = -1;
};
ListingScript script;

fet_int fake_device(fet_int id, char* record, fet_int size) {
    if (id < 1 || id > static_cast<fet_int>(script.devices.size())) return 1;
    std::memset(record, 0x55, static_cast<std::size_t>(size));
    std::snprintf(record + DEV_NAME, DEVICE_NAME_SIZE, "%s", script.devices[static_cast<std::size_t>(id - 1)].c_str());
    return 0;
}

fet_int fake_count(fet_int* count) {
    if (script.count_status) return script.count_status;
    *count = static_cast<fet_int>(script.adapters.size());
    return 0;
}

fet_int fake_name(fet_int index, char** name, fet_int* in_use) {
    if (index == script.failing_name_index) return 1;
    *name = script.adapters.at(static_cast<std::size_t>(index)).data();
    *in_use = script.in_use.at(static_cast<std::size_t>(index)) ? 1 : 0;
    return 0;
}

FetLibrary fake_table() {
    FetLibrary table{};
    table.MSP430_Device = fake_device;
    table.MSP430_GetNumberOfUsbIfs = fake_count;
    table.MSP430_GetNameOfUsbIf = fake_name;
    return table;
}

const FetLibrary listing_library = fake_table();

// Runs one listing against the script in a child and shows its result after its output.
Captured listing(int (*list)()) {
    return capture_output([list] {
        settings = RunSettings{};
        fet = &listing_library;
        const int result = list();
        std::printf("|%d", result);
    });
}

const std::string DEVICES_HEAD = "\nThe devices supported by the driver:\n";

}  // namespace

TEST(ListDevices, TwoDevicesALineAndNoLineEndAfterAnOddLastId) {
    script = ListingScript{};
    script.devices = {"MSP430F149", "MSP430G2553", "MSP430F5438A"};
    EXPECT_EQ(listing(list_devices).text, DEVICES_HEAD +
                                              "ID:1   MSP430F149               ID:2   MSP430G2553              \n"
                                              "ID:3   MSP430F5438A             |0");
}

TEST(ListDevices, EndOfDevicesEndsTheListUnprinted) {
    script = ListingScript{};
    script.devices = {"MSP430F149", "MSP430F2013", "End_of_devices", "MSP430F5529"};
    EXPECT_EQ(listing(list_devices).text, DEVICES_HEAD +
                                              "ID:1   MSP430F149               ID:2   MSP430F2013              \n|0");
    // Only a whole-word match ends it; case counts.
    script.devices = {"end_of_devices", "End_of_devices2"};
    EXPECT_EQ(listing(list_devices).text,
              DEVICES_HEAD + "ID:1   end_of_devices           ID:2   End_of_devices2          \n|0");
}

TEST(ListDevices, LongNamesAreShownWholeWithOneBlank) {
    script = ListingScript{};
    const std::string name24(24, 'a'), name25(25, 'b'), name30 = "MSP430FR5994_with_a_long_name";
    const std::string name31(31, 'c');
    script.devices = {name24, name25, name30 + "x", name31};
    EXPECT_EQ(listing(list_devices).text, DEVICES_HEAD + "ID:1   " + name24 + " ID:2   " + name25 + " \nID:3   " +
                                              name30 + "x ID:4   " + name31 + " \n|0");
}

TEST(ListDevices, ANameFillingTheWholeFieldIsCutAtItsEnd) {
    // A library that leaves no terminator in the 32-byte name field must not make us read on.
    script = ListingScript{};
    script.devices = {std::string(40, 'z')};
    EXPECT_EQ(listing(list_devices).text, DEVICES_HEAD + "ID:1   " + std::string(31, 'z') + " |0");
}

TEST(ListDevices, AFailingFirstCallListsNothing) {
    script = ListingScript{};
    EXPECT_EQ(listing(list_devices).text, DEVICES_HEAD + "|0");
}

TEST(ListDevices, IdsAboveNineHoldTheirColumns) {
    script = ListingScript{};
    for (int i = 0; i < 12; ++i) script.devices.push_back("D" + std::to_string(i + 1));
    const std::string text = listing(list_devices).text;
    EXPECT_NE(text.find("\nID:9   D9                       ID:10  D10                      \n"
                        "ID:11  D11                      ID:12  D12                      \n|0"),
              std::string::npos)
        << text;
}

TEST(ListFetPorts, NoAdapter) {
    script = ListingScript{};
    EXPECT_EQ(listing(list_fet_ports).text, "FET Port not Found\n|1");
}

TEST(ListFetPorts, TwoAdaptersTheSecondInUse) {
    script = ListingScript{};
    script.adapters = {"HID1", "/dev/ttyACM0"};
    script.in_use = {false, true};
    EXPECT_EQ(listing(list_fet_ports).text, "\nFound: HID1 -Free\n       /dev/ttyACM0 -Already Used\n|0");
}
