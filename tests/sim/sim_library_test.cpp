#include "sim/sim_library.h"

#include <gtest/gtest.h>

#include <functional>

#include "chip/parts.h"
#include "sim/current_generation.h"
#include "support/scratch_folder.h"

namespace {

class SimLibrary : public ::testing::Test {
protected:
    void SetUp() override { reset_simulator(), reset_current_generation(); }
    void TearDown() override { reset_simulator(), reset_current_generation(); }

    fet_int open(const char* port) {
        fet_int version = 0;
        return sim.MSP430_Initialize(port, &version);
    }
    std::string error() { return sim.MSP430_Error_String(sim.MSP430_Error_Number()); }
    fet_int open_device(const char* device = "DEVICE_UNKNOWN") { return current_open_device(device, "", 0, 0, 0); }
    std::pair<fet_int, std::string> failure() { return {sim.MSP430_Error_Number(), error()}; }

    const FetLibrary& sim = *simulator_library();
    ScratchFolder scratch;
};
using CurrentGeneration = SimLibrary;

std::vector<std::uint8_t> poisoned(std::size_t size) { return std::vector<std::uint8_t>(size, 0xEE); }

}  // namespace

TEST_F(SimLibrary, PortNamesChooseThePart) {
    const std::pair<const char*, const char*> cases[] = {
        {"SIM", "MSP430G2553"}, {"Sim:msp430f5438a", "MSP430F5438A"}, {"TIUSB", "MSP430G2553"},
        {"TIUSB:fr5994", "MSP430FR5994"}, {"USB:F1", "Unknown simulated part \"F1\"; -list shows the parts the simulator knows"},
        {"SIM:", "Unknown simulated part \"\"; -list shows the parts the simulator knows"},
        {"SIMULATOR", "Unknown simulated adapter \"SIMULATOR\": use SIM, or SIM:<part> as -list shows"},
    };
    for (const auto& [port, part_or_error] : cases) {
        reset_simulator();
        DeviceRecord record{};
        const bool found = open(port) == 0 && sim.MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0) == 0;
        EXPECT_EQ(found ? record.name() : error(), part_or_error);
    }
}

TEST_F(SimLibrary, ConfigureAndResetTakeTheirValuesOnly) {
    const struct { fet_int mode, value; const char* refusal; /* null: accepted */ } cases[] = {
        {CONFIGURE_INTERFACE, -1, "Interface -1 is not 0 (4-wire JTAG), 1 (Spy-Bi-Wire) or 2 (Spy-Bi-Wire through JTAG)"},
        {CONFIGURE_INTERFACE, 0, nullptr},
        {CONFIGURE_INTERFACE, 2, nullptr},
        {CONFIGURE_INTERFACE, 3, "Interface 3 is not 0 (4-wire JTAG), 1 (Spy-Bi-Wire) or 2 (Spy-Bi-Wire through JTAG)"},
        {CONFIGURE_VERIFICATION, 1, nullptr},
        {CONFIGURE_RAM_PRESERVE, 2, "Configure mode 10 takes 0 or 1, not 2"},
        {CONFIGURE_INFO_UNLOCK, -1, "Configure mode 5 takes 0 or 1, not -1"},
        {9, 0, "Configure mode 9 is unknown"},
    };
    EXPECT_NE(sim.MSP430_Configure(CONFIGURE_INTERFACE, 0), 0) << "nothing open";
    EXPECT_NE(sim.MSP430_Secure(), 0) << "nothing open";
    ASSERT_EQ(open("SIM"), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.value);
        EXPECT_EQ(sim.MSP430_Configure(c.mode, c.value), c.refusal ? -1 : 0);
        EXPECT_EQ(c.refusal ? error() : "", c.refusal ? c.refusal : "");
    }
    EXPECT_NE(sim.MSP430_Reset(0, 0, 0), 0);
    EXPECT_EQ(error(), "Reset method 0 selects no reset (1 PUC, 2 RST/NMI, 4 Vcc)");
    EXPECT_EQ(sim.MSP430_Reset(1, 0, 0), 0) << error();
}

TEST_F(SimLibrary, EachMalformedImageIsRefusedAndTheFlashIsUntouched) {
    // One of each kind: the readers' own refusals are tested with the readers.
    const std::pair<std::string, std::string> cases[] = {
        {":01C000007FC0\n:01C001008EB1\n:00000001FF\n", " line 2: bad checksum B1, the record's bytes ask for B0"},
        {"@C000\n31 4", " line 2: \"4\" is not a byte: a byte is two hex digits"},
        {"\x7f" "ELF\x02\x01\x01", ": a 64-bit ELF file; MSP430 programs are 32-bit ELF"},
        {":02FFFF00AA5501\n:00000001FF\n",
         "The image has data at 0x10000, outside the flash and information memory of MSP430G2553"},
        {":0110C00055DA\n:00000001FF\n", "The image has data at 0x10C0 in information segment A, which is locked"},
    };
    ASSERT_EQ(open("SIM"), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(scratch.write("good.hex", ":01E000000A15\n:00000001FF\n").c_str(), 1, 1), 0);
    const std::string readout = scratch.path("readout.hex");
    ASSERT_EQ(sim.MSP430_ReadOutFile(0xC000, 0x4000, readout.c_str(), FILE_INTEL_HEX), 0) << error();
    const std::string programmed = scratch.read("readout.hex");
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        const std::string path = scratch.write("bad", text);
        const bool malformed = expected[0] == ' ' || expected[0] == ':';
        EXPECT_NE(sim.MSP430_ProgramFile(path.c_str(), 1, 1), 0);
        EXPECT_EQ(error(), (malformed ? path : "") + expected);
        EXPECT_NE(sim.MSP430_VerifyFile(path.c_str()), 0);
        ASSERT_EQ(sim.MSP430_ReadOutFile(0xC000, 0x4000, readout.c_str(), FILE_INTEL_HEX), 0) << error();
        EXPECT_TRUE(scratch.read("readout.hex") == programmed) << "the flash changed";
    }
    EXPECT_NE(sim.MSP430_ProgramFile(scratch.path("absent.hex").c_str(), 1, 1), 0);
    EXPECT_EQ(error(), "Cannot open " + scratch.path("absent.hex") + ": No such file or directory");
    EXPECT_NE(sim.MSP430_ReadOutFile(0xC000, 2, scratch.path("no/out.hex").c_str(), FILE_INTEL_HEX), 0);
    EXPECT_EQ(error(), "Cannot write " + scratch.path("no/out.hex") + ": No such file or directory");
}

TEST_F(SimLibrary, ProgrammingTwiceWithoutEraseAndsIntoFlashButOverwritesFram) {
    const std::string first = scratch.write("a.hex", ":01C000000F30\n:011980000F57\n:00000001FF\n");
    const std::string second = scratch.write("b.hex", ":01C00000F04F\n:01198000F076\n:00000001FF\n");
    ASSERT_EQ(open("SIM:F5529"), 0);
    ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 1), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(first.c_str(), 0, 1), 0) << error();
    EXPECT_NE(sim.MSP430_ProgramFile(second.c_str(), 0, 1), 0);
    EXPECT_EQ(error(), "Verification error at 0x1980: the file has F0, the target 00");
    for (const char* part : {"SIM:FR5969", "SIM:FR2355"}) {
        SCOPED_TRACE(part);
        reset_simulator();
        ASSERT_EQ(open(part), 0);
        ASSERT_EQ(sim.MSP430_ProgramFile(first.c_str(), 0, 1), 0) << error();
        EXPECT_EQ(sim.MSP430_ProgramFile(second.c_str(), 0, 1), 0) << error();
        EXPECT_EQ(sim.MSP430_VerifyFile(second.c_str()), 0) << error();
        EXPECT_EQ(sim.MSP430_Erase(ERASE_SEGMENT, 0xC000, 512), 0) << error();
        EXPECT_EQ(sim.MSP430_EraseCheck(0xC000, 0x200), 0) << error();
        EXPECT_NE(sim.MSP430_EraseCheck(0x1800, 0x200), 0);
        EXPECT_EQ(error(), "Verification error: flash not blank at 0x1980, it holds F0");
        EXPECT_EQ(sim.MSP430_Erase(ERASE_MAIN, 0xFFFE, 2), 0) << error();
        EXPECT_EQ(sim.MSP430_EraseCheck(0x1800, 0x200), 0) << error();
    }
}

// As the vendor's library: ERASE_ALL keeps segment A (the factory's DCO calibration), locked or not.
TEST_F(SimLibrary, ProgrammingErasesAsTheVendorsLibraryDoes) {
    const std::string everywhere = scratch.write("all.hex", ":01C00000003F\n:0110000000EF\n:0110BF000030\n:00000001FF\n");
    const std::string one = scratch.write("one.hex", ":01E00000110E\n:00000001FF\n");
    const std::string b_and_a = scratch.write("ba.hex", ":0110BF00111F\n:0110C000220D\n:00000001FF\n");
    const struct { fet_int type; std::vector<std::pair<std::uint32_t, std::uint32_t>> blank, kept; } cases[] = {
        {0, {}, {{0xC000, 1}, {0x1000, 1}, {0x10BF, 1}, {0x10C0, 1}}},
        {ERASE_MAIN, {{0xC000, 0x2000}}, {{0x1000, 1}, {0x10BF, 1}, {0x10C0, 1}}},
        {ERASE_ALL, {{0xC000, 0x2000}, {0x1000, 0xC0}}, {{0x10C0, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        reset_simulator();
        ASSERT_EQ(open("SIM"), 0);
        ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 1), 0);
        ASSERT_EQ(sim.MSP430_ProgramFile(b_and_a.c_str(), 0, 1), 0) << error();
        ASSERT_EQ(sim.MSP430_ProgramFile(everywhere.c_str(), 0, 0), 0) << error();
        ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 0), 0);
        ASSERT_EQ(sim.MSP430_ProgramFile(one.c_str(), c.type, 1), 0) << error();
        for (const auto& [address, length] : c.blank) EXPECT_EQ(sim.MSP430_EraseCheck(address, length), 0) << error();
        for (const auto& [address, length] : c.kept) EXPECT_NE(sim.MSP430_EraseCheck(address, length), 0) << address;
    }
    EXPECT_NE(sim.MSP430_ProgramFile(one.c_str(), 3, 1), 0);
    EXPECT_NE(sim.MSP430_Erase(ERASE_SEGMENT, 0x10C0, 128), 0);
    EXPECT_EQ(error(), "Information segment A (10C0..10FF) is locked; unlock the information memory first");
    EXPECT_EQ(sim.MSP430_Erase(ERASE_SEGMENT, 0x1080, 64), 0) << error();
    EXPECT_NE(sim.MSP430_EraseCheck(0x1000, 0x100), 0);
    EXPECT_EQ(error(), "Verification error: flash not blank at 0x10C0, it holds 22");
    ASSERT_EQ(open("SIM"), 0);
    EXPECT_NE(sim.MSP430_Erase(ERASE_SEGMENT, 0x10FF, 64), 0);
}

TEST_F(SimLibrary, FailuresCarryTheVendorsNumbers) {
    const std::string bad = scratch.write("bad.txt", "hello\n");
    const std::string other = scratch.write("other.hex", ":01C00000112E\n:00000001FF\n");
    char record[DEVICE_RECORD_SIZE];
    const std::pair<std::function<fet_int()>, fet_int> cases[] = {
        {[&] { return sim.MSP430_Erase(ERASE_MAIN, 0xFFFE, 2); }, 68},  // not open yet
        {[&] { return open("SIM:F9999"); }, 57},
        {[&] { return open("SIM"); }, 0},
        {[&] { return sim.MSP430_Device(1, record, DEVICE_RECORD_SIZE - 1); }, 3},
        {[&] { return sim.MSP430_Identify(record, DEVICE_RECORD_SIZE - 1, 0); }, 3},
        {[&] { return sim.MSP430_Device(1, record, DEVICE_RECORD_SIZE); }, 0},
        {[&] { return sim.MSP430_VCC(5000); }, 10},
        {[&] { return sim.MSP430_ProgramFile(scratch.path("none.hex").c_str(), 1, 1); }, 23},
        {[&] { return sim.MSP430_ProgramFile(bad.c_str(), 1, 1); }, 24},
        {[&] { return sim.MSP430_ProgramFile(other.c_str(), 0, 0); }, 0},
        {[&] { return sim.MSP430_EraseCheck(0xC000, 2); }, 28},
        {[&] { return sim.MSP430_Erase(7, 0, 0); }, 3},
        {[&] { return sim.MSP430_ReadOutFile(0xC000, 2, scratch.path("no/such/folder.hex").c_str(), 2); }, 26},
        {[&] { return sim.MSP430_VCC(0); }, 0},
        {[&] { return sim.MSP430_EraseCheck(0xC000, 2); }, 4},  // no supply: nothing answers
        {[&] { return sim.MSP430_VCC(3000) + sim.MSP430_Secure(); }, 0},
        {[&] { return sim.MSP430_VerifyFile(other.c_str()); }, 30},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& [call, number] = cases[i];
        EXPECT_EQ(call() != 0, number != 0);
        EXPECT_EQ(number ? sim.MSP430_Error_Number() : 0, number) << error();
    }
}

TEST_F(SimLibrary, TheBlownFuseLocksTheTargetButNotClose) {
    ASSERT_EQ(open("SIM"), 0);
    ASSERT_EQ(sim.MSP430_Secure(), 0) << error();
    EXPECT_NE(sim.MSP430_Erase(ERASE_MAIN, 0xFFFE, 2), 0);
    EXPECT_NE(sim.MSP430_ReadOutFile(0xC000, 0x4000, scratch.path("x.hex").c_str(), FILE_INTEL_HEX), 0);
    EXPECT_EQ(error(), "The Debug Interface to the device has been secured: the security fuse is blown");
    EXPECT_EQ(sim.MSP430_Close(1), 0);
    ASSERT_EQ(open("SIM"), 0);  // the fuse stays blown for the rest of the run
    EXPECT_NE(sim.MSP430_Reset(7, 1, 0), 0);
}

TEST_F(CurrentGeneration, TheDeviceIsOpenedOnceTheDatabaseIsLoaded) {
    fet_int version = 0;
    ASSERT_EQ(current_initialize("TIUSB", &version), 0);
    EXPECT_EQ(version, 100);
    EXPECT_NE(open_device(), 0);
    EXPECT_EQ(failure(), std::make_pair(fet_int{98}, std::string("Device database not loaded")));
    std::vector<std::uint8_t> record = poisoned(CURRENT_DEVICE_RECORD_SIZE + 8);
    EXPECT_NE(current_get_found_device(record.data(), DEVICE_RECORD_SIZE), 0);  // nothing found yet
    EXPECT_NE(current_reset(7, 1, 0), 0);
    EXPECT_EQ(failure().first, 4);
    EXPECT_NE(current_load_device_db("devices.xml"), 0);
    ASSERT_EQ(current_load_device_db(nullptr), 0);
    EXPECT_NE(open_device("MSP430F149"), 0);  // another part than the one attached
    ASSERT_EQ(open_device(), 0);
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
    EXPECT_EQ(failure().first, 68);
    fet_int adapters = 0;
    ASSERT_EQ(current_get_number_of_usb_ifs(&adapters), 0);
    for (const fet_int index : {fet_int{0}, last}) {
        ASSERT_EQ(current_device(index, record.data(), DEVICE_RECORD_SIZE), 0);
        EXPECT_STREQ(reinterpret_cast<const char*>(record.data() + DEV_NAME), parts[index].name);
    }
    EXPECT_NE(current_device(last + 1, record.data(), DEVICE_RECORD_SIZE), 0);
    EXPECT_EQ(failure(), std::make_pair(fet_int{3}, "No device with number " + std::to_string(last + 1) +
                                                      "; the simulator knows 0 to " + std::to_string(last)));
    EXPECT_NE(current_device(-1, record.data(), DEVICE_RECORD_SIZE), 0);
}

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
