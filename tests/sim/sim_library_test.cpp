#include "sim/sim_library.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/memory_image.h"
#include "sim/parts.h"
#include "sim/scratch_files.h"

namespace {

class SimLibrary : public ::testing::Test {
protected:
    void SetUp() override { reset_simulator(); }
    void TearDown() override { reset_simulator(); }

    fet_int open(const char* port) {
        fet_int version = 0;
        const fet_int status = sim.MSP430_Initialize(port, &version);
        if (status == 0) {
            EXPECT_GT(version, 0);
        }
        return status;
    }
    std::string error() { return sim.MSP430_Error_String(sim.MSP430_Error_Number()); }
    std::string identify() {
        DeviceRecord record{};
        EXPECT_EQ(sim.MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0), 0) << error();
        return record.name();
    }

    const FetLibrary& sim = *simulator_library();
    ScratchFolder scratch;
};

// The bytes an image file gives, read back through the project's own reader.
MemoryImage read_back(const std::string& path) {
    MemoryImage image;
    std::string error;
    EXPECT_EQ(read_image_file(path.c_str(), image, error), 0) << error;
    return image;
}

}  // namespace

TEST_F(SimLibrary, PortNamesChooseThePart) {
    const struct {
        const char* port;
        const char* part;
    } cases[] = {
        {"SIM", "MSP430G2553"},       {"sim", "MSP430G2553"},        {"SIM:G2553", "MSP430G2553"},
        {"SIM:f5438a", "MSP430F5438A"}, {"Sim:msp430F149", "MSP430F149"}, {"SIM:MSP430G2231", "MSP430G2231"},
    };
    for (const auto& c : cases) {
        reset_simulator();
        ASSERT_EQ(open(c.port), 0) << c.port << ": " << error();
        EXPECT_EQ(identify(), c.part) << c.port;
    }
}

TEST_F(SimLibrary, AnUnknownPartIsNamedAndPointsToTheList) {
    EXPECT_NE(open("SIM:G9999"), 0);
    EXPECT_EQ(error(), "Unknown simulated part \"G9999\"; -list shows the parts the simulator knows");
    EXPECT_NE(open("SIMULATOR"), 0);
    EXPECT_EQ(error(), "Unknown simulated adapter \"SIMULATOR\": use SIM, or SIM:<part> as -list shows");
    EXPECT_NE(open("SIM:"), 0);
    EXPECT_EQ(error(), "Unknown simulated part \"\"; -list shows the parts the simulator knows");
}

TEST_F(SimLibrary, CallsBeforeInitializeFail) {
    EXPECT_NE(sim.MSP430_VCC(3000), 0);
    EXPECT_EQ(error(), "The simulated adapter is not open: MSP430_Initialize comes first");
    ASSERT_EQ(open("SIM"), 0);
    EXPECT_EQ(sim.MSP430_Close(0), 0);
    EXPECT_NE(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0);
}

TEST_F(SimLibrary, SupplyAcceptsOffAndTheChipsRange) {
    ASSERT_EQ(open("SIM"), 0);
    for (fet_int mv : {0L, 1800L, 3600L, 3200L}) EXPECT_EQ(sim.MSP430_VCC(mv), 0) << mv;
    for (fet_int mv : {1L, 1799L, 3601L, -5L}) {
        EXPECT_NE(sim.MSP430_VCC(mv), 0) << mv;
        EXPECT_EQ(error(), "Vcc of " + std::to_string(mv) + " mV is out of range: 0 (off) or 1800 to 3600 mV");
    }
    fet_int mv = -1, state = -1;
    EXPECT_EQ(sim.MSP430_GetExtVoltage(&mv, &state), 0);
    EXPECT_EQ(state, EXT_VCC_NONE);
    EXPECT_EQ(mv, 0);
}

TEST_F(SimLibrary, SwitchedOffTheTargetCannotBeReached) {
    ASSERT_EQ(open("SIM"), 0);
    ASSERT_EQ(sim.MSP430_VCC(0), 0);
    DeviceRecord record{};
    EXPECT_NE(sim.MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0), 0);
    EXPECT_EQ(error(), "The target has no supply: Vcc was switched off");
    ASSERT_EQ(sim.MSP430_VCC(3300), 0);
    EXPECT_EQ(identify(), "MSP430G2553");
}

TEST_F(SimLibrary, ProgramReadOutAndCompareBelow64K) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string image = std::string(KESTO_SOURCE_DIR) + "/examples/blink_g2553.hex";
    EXPECT_EQ(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0);
    EXPECT_EQ(sim.MSP430_EraseCheck(0xC000, 0x4000), 0) << error();
    ASSERT_EQ(sim.MSP430_ProgramFile(image.c_str(), 1, 1), 0) << error();
    EXPECT_EQ(sim.MSP430_VerifyFile(image.c_str()), 0) << error();
    const std::string out = scratch.path("out.hex");
    ASSERT_EQ(sim.MSP430_ReadOutFile(0xC000, 0x4000, out.c_str(), FILE_INTEL_HEX), 0) << error();

    const MemoryImage written = read_back(image);
    const MemoryImage read = read_back(out);
    EXPECT_EQ(read.size(), 0x4000u);
    for (std::uint32_t at = 0xC000; at <= 0xFFFF; ++at)
        ASSERT_EQ(read.at(at), written.has(at) ? written.at(at) : 0xFF) << std::hex << at;
    // The read-out is itself an image the simulator takes.
    EXPECT_EQ(sim.MSP430_VerifyFile(out.c_str()), 0) << error();
}

TEST_F(SimLibrary, ProgramReadOutAndCompareAbove64K) {
    ASSERT_EQ(open("SIM:F5438A"), 0);
    // Bytes on both sides of 0x10000, at the very end of flash, and in information memory.
    const std::string image = scratch.write("wide.hex",
                                            ":04FFFC0001020304F7\n"
                                            ":020000040001F9\n"
                                            ":0400000005060708E2\n"
                                            ":020000040004F6\n"
                                            ":025BFE00AABB40\n"
                                            ":020000040000FA\n"
                                            ":021800001234A0\n"
                                            ":00000001FF\n");
    ASSERT_EQ(sim.MSP430_ProgramFile(image.c_str(), 1, 1), 0) << error();
    const std::string out = scratch.path("out.txt");
    const fet_int length = 0x45BFF - 0x5C00 + 1;
    ASSERT_EQ(sim.MSP430_ReadOutFile(0x5C00, length, out.c_str(), FILE_TI_TXT), 0) << error();
    const MemoryImage read = read_back(out);
    EXPECT_EQ(read.size(), static_cast<std::size_t>(length));
    EXPECT_EQ(read.at(0xFFFC), 0x01);
    EXPECT_EQ(read.at(0xFFFF), 0x04);
    EXPECT_EQ(read.at(0x10000), 0x05);
    EXPECT_EQ(read.at(0x10003), 0x08);
    EXPECT_EQ(read.at(0x10004), 0xFF);
    EXPECT_EQ(read.at(0x45BFE), 0xAA);
    EXPECT_EQ(read.at(0x45BFF), 0xBB);

    const std::string hex = scratch.path("out.hex");
    ASSERT_EQ(sim.MSP430_ReadOutFile(0xFFF0, 0x20, hex.c_str(), FILE_INTEL_HEX), 0) << error();
    EXPECT_EQ(scratch.read("out.hex"),
              ":10FFF000FFFFFFFFFFFFFFFFFFFFFFFF0102030403\n"
              ":020000040001F9\n"
              ":1000000005060708FFFFFFFFFFFFFFFFFFFFFFFFE2\n"
              ":00000001FF\n");
    // Information memory was programmed too, and reads back.
    const std::string info = scratch.path("info.txt");
    ASSERT_EQ(sim.MSP430_ReadOutFile(0x1800, 2, info.c_str(), FILE_TI_TXT), 0) << error();
    EXPECT_EQ(scratch.read("info.txt"), "@1800\n12 34\nq\n");
}

TEST_F(SimLibrary, ABadImageChangesNothing) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string good = std::string(KESTO_SOURCE_DIR) + "/examples/blink_g2553.hex";
    ASSERT_EQ(sim.MSP430_ProgramFile(good.c_str(), 1, 1), 0) << error();
    // Valid first record, bad checksum later: the first record must not reach the flash, and
    // the erase that programming starts with must not happen either.
    const std::string bad = scratch.write("bad.hex", ":01C000007FC0\n:01C001008EB1\n:00000001FF\n");
    EXPECT_NE(sim.MSP430_ProgramFile(bad.c_str(), 1, 1), 0);
    EXPECT_EQ(error(), bad + " line 2: bad checksum B1, the record's bytes ask for B0");
    EXPECT_EQ(sim.MSP430_VerifyFile(good.c_str()), 0) << error();
}

TEST_F(SimLibrary, AnImageOutsideTheFlashIsRefusedWhole) {
    ASSERT_EQ(open("SIM"), 0);
    // 0xBFFF lies just below the G2553's flash; the byte at 0xC000 must not be written.
    const std::string image = scratch.write("low.hex", ":02BFFF00AA5541\n:00000001FF\n");
    EXPECT_NE(sim.MSP430_ProgramFile(image.c_str(), 1, 0), 0);
    EXPECT_EQ(error(), "The image has data at 0xBFFF, outside the flash and information memory of MSP430G2553");
    EXPECT_EQ(sim.MSP430_EraseCheck(0xC000, 0x4000), 0) << error();
}

TEST_F(SimLibrary, ProgrammingTwiceWithoutEraseFailsVerify) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string first = scratch.write("a.hex", ":01C000000F30\n:00000001FF\n");
    const std::string second = scratch.write("b.hex", ":01C00000F04F\n:00000001FF\n");
    ASSERT_EQ(sim.MSP430_ProgramFile(first.c_str(), 0, 1), 0) << error();
    EXPECT_NE(sim.MSP430_ProgramFile(second.c_str(), 0, 1), 0);
    EXPECT_EQ(error(), "Verification failed at 0xC000: the file has F0, the target 00");
    // With the main memory erased first (the 1), the same image programs fine.
    EXPECT_EQ(sim.MSP430_ProgramFile(second.c_str(), 1, 1), 0) << error();
}

TEST_F(SimLibrary, BlankCheckNamesTheFirstByteInUse) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string image = scratch.write("a.hex", ":02E001001234D7\n:00000001FF\n");
    ASSERT_EQ(sim.MSP430_ProgramFile(image.c_str(), 1, 1), 0) << error();
    EXPECT_NE(sim.MSP430_EraseCheck(0xC000, 0x4000), 0);
    EXPECT_EQ(error(), "Flash not blank at 0xE001: it holds 12");
    // A segment erase clears the 512 bytes around it.
    EXPECT_EQ(sim.MSP430_Erase(ERASE_SEGMENT, 0xE1FF, 64), 0) << error();
    EXPECT_EQ(sim.MSP430_EraseCheck(0xC000, 0x4000), 0) << error();
    EXPECT_NE(sim.MSP430_EraseCheck(0xBFFF, 2), 0);
    EXPECT_EQ(error(), "Address 0xBFFF is outside the flash and information memory of MSP430G2553");
}

TEST_F(SimLibrary, SegmentAStaysUntilUnlocked) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string in_a = scratch.write("a.hex", ":0110C00055DA\n:00000001FF\n");
    EXPECT_NE(sim.MSP430_ProgramFile(in_a.c_str(), 1, 1), 0);
    EXPECT_EQ(error(), "The image has data at 0x10C0 in information segment A, which is locked");
    ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 1), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(in_a.c_str(), 1, 1), 0) << error();
    ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 0), 0);
    // Locked again: neither a segment erase nor a mass erase touches A.
    EXPECT_NE(sim.MSP430_Erase(ERASE_SEGMENT, 0x10C0, 128), 0);
    EXPECT_EQ(error(), "Information segment A (10C0..10FF) is locked; unlock the information memory first");
    EXPECT_EQ(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0) << error();
    EXPECT_NE(sim.MSP430_EraseCheck(0x1000, 0x100), 0);
    EXPECT_EQ(error(), "Flash not blank at 0x10C0: it holds 55");
    // The segments below A erase while it is locked.
    EXPECT_EQ(sim.MSP430_Erase(ERASE_SEGMENT, 0x1080, 64), 0) << error();
    // A new session starts locked; unlocked, the mass erase takes A too.
    ASSERT_EQ(open("SIM"), 0);
    EXPECT_NE(sim.MSP430_Erase(ERASE_SEGMENT, 0x10FF, 64), 0);
    ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 1), 0);
    EXPECT_EQ(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0) << error();
    EXPECT_EQ(sim.MSP430_EraseCheck(0x1000, 0x100), 0) << error();
}

TEST_F(SimLibrary, PartsWithoutALockEraseSegmentA) {
    ASSERT_EQ(open("SIM:F149"), 0);
    const std::string in_a = scratch.write("a.hex", ":01108000551A\n:00000001FF\n");
    ASSERT_EQ(sim.MSP430_ProgramFile(in_a.c_str(), 1, 1), 0) << error();
    EXPECT_EQ(sim.MSP430_Erase(ERASE_SEGMENT, 0x10FF, 128), 0) << error();
    EXPECT_EQ(sim.MSP430_EraseCheck(0x1000, 0x100), 0) << error();
}

TEST_F(SimLibrary, TheBlownFuseLocksTheTargetButNotClose) {
    ASSERT_EQ(open("SIM"), 0);
    ASSERT_EQ(sim.MSP430_Secure(), 0) << error();
    const std::string fuse = "The security fuse is blown: JTAG access to the target is locked";
    EXPECT_NE(sim.MSP430_Reset(7, 1, 0), 0);
    EXPECT_EQ(error(), fuse);
    DeviceRecord record{};
    EXPECT_NE(sim.MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0), 0);
    EXPECT_NE(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0);
    EXPECT_NE(sim.MSP430_ReadOutFile(0xC000, 0x4000, scratch.path("x.hex").c_str(), FILE_INTEL_HEX), 0);
    EXPECT_EQ(error(), fuse);
    EXPECT_NE(sim.MSP430_Secure(), 0);
    EXPECT_EQ(sim.MSP430_Close(1), 0);
    // The fuse stays blown for the rest of the run, across sessions.
    ASSERT_EQ(open("SIM"), 0);
    EXPECT_NE(sim.MSP430_Reset(7, 1, 0), 0);
}

TEST_F(SimLibrary, ResetMethods) {
    ASSERT_EQ(open("SIM"), 0);
    for (fet_int method : {1L, 2L, 4L, 7L, 129L, 130L, 134L}) EXPECT_EQ(sim.MSP430_Reset(method, 1, 0), 0) << method;
    EXPECT_NE(sim.MSP430_Reset(8, 1, 0), 0);
    EXPECT_EQ(error(), "Reset method 8 selects no reset (1 PUC, 2 RST/NMI, 4 Vcc)");
}

TEST_F(SimLibrary, ConfigureChecksModesAndValues) {
    ASSERT_EQ(open("SIM"), 0);
    for (fet_int mode : {0L, 1L, 2L}) EXPECT_EQ(sim.MSP430_Configure(CONFIGURE_INTERFACE, mode), 0);
    EXPECT_NE(sim.MSP430_Configure(CONFIGURE_INTERFACE, 3), 0);
    EXPECT_EQ(error(), "Interface 3 is not 0 (4-wire JTAG), 1 (Spy-Bi-Wire) or 2 (Spy-Bi-Wire through JTAG)");
    EXPECT_EQ(sim.MSP430_Configure(CONFIGURE_VERIFICATION, 1), 0);
    EXPECT_EQ(sim.MSP430_Configure(CONFIGURE_RAM_PRESERVE, 0), 0);
    EXPECT_NE(sim.MSP430_Configure(CONFIGURE_RAM_PRESERVE, 2), 0);
    EXPECT_EQ(error(), "Configure mode 10 takes 0 or 1, not 2");
    EXPECT_NE(sim.MSP430_Configure(99, 0), 0);
    EXPECT_EQ(error(), "Configure mode 99 is unknown");
}

TEST_F(SimLibrary, ReadOutToAnUnwritablePathFailsWithTheReason) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string path = scratch.path("no/such/folder/out.hex");
    EXPECT_NE(sim.MSP430_ReadOutFile(0xC000, 0x4000, path.c_str(), FILE_INTEL_HEX), 0);
    EXPECT_EQ(error(), "Cannot write " + path + ": No such file or directory");
    EXPECT_NE(sim.MSP430_ReadOutFile(0xC000, 0x4000, scratch.path("x").c_str(), 3), 0);
    EXPECT_EQ(error(), "File type 3 is not 1 (TI-TXT) or 2 (Intel HEX)");
}

TEST_F(SimLibrary, AnExistingReadOutIsReplacedWhole) {
    ASSERT_EQ(open("SIM:G2231"), 0);
    const std::string out = scratch.write("out.txt", std::string(100000, 'x'));
    ASSERT_EQ(sim.MSP430_ReadOutFile(0xFFFE, 2, out.c_str(), FILE_TI_TXT), 0) << error();
    EXPECT_EQ(scratch.read("out.txt"), "@FFFE\nFF FF\nq\n");
    EXPECT_FALSE(std::filesystem::exists(out + ".partial"));
}

TEST_F(SimLibrary, AMissingImageFileIsNamed) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string path = scratch.path("absent.hex");
    EXPECT_NE(sim.MSP430_ProgramFile(path.c_str(), 1, 1), 0);
    EXPECT_EQ(error(), "Cannot open " + path + ": No such file or directory");
    EXPECT_NE(sim.MSP430_VerifyFile(path.c_str()), 0);
}

TEST_F(SimLibrary, DeviceListEndsWithTheEndMarker) {
    DeviceRecord record{};
    const auto count = static_cast<fet_int>(all_parts().size());
    for (fet_int id = 1; id <= count; ++id) {
        ASSERT_EQ(sim.MSP430_Device(id, record.data(), DEVICE_RECORD_SIZE), 0);
        EXPECT_EQ(record.word(DEV_ID), static_cast<std::uint32_t>(id));
    }
    ASSERT_EQ(sim.MSP430_Device(count + 1, record.data(), DEVICE_RECORD_SIZE), 0);
    EXPECT_STREQ(record.name(), "End_of_devices");
    EXPECT_NE(sim.MSP430_Device(count + 2, record.data(), DEVICE_RECORD_SIZE), 0);
    EXPECT_NE(sim.MSP430_Device(0, record.data(), DEVICE_RECORD_SIZE), 0);
}

TEST_F(SimLibrary, IdentifyFillsTheRecordOfTheDefaultPart) {
    ASSERT_EQ(open("SIM"), 0);
    DeviceRecord record{};
    ASSERT_EQ(sim.MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0), 0);
    EXPECT_STREQ(record.name(), "MSP430G2553");
    EXPECT_EQ(record.word(DEV_FLASH_START), 0xC000u);
    EXPECT_EQ(record.dword(DEV_FLASH_END), 0xFFFFu);
    EXPECT_EQ(record.word(DEV_INFO_START), 0x1000u);
    EXPECT_EQ(record.word(DEV_INFO_END), 0x10FFu);
    EXPECT_EQ(record.word(DEV_RAM_START), 0x0200u);
    EXPECT_EQ(record.word(DEV_RAM_END), 0x03FFu);
    EXPECT_EQ(record.word(DEV_LCD_START), 0u);
    EXPECT_EQ(record.word(DEV_VCC_MIN), 1800u);
    EXPECT_EQ(record.word(DEV_VCC_MAX), 3600u);
    EXPECT_NE(sim.MSP430_Identify(record.data(), 79, 0), 0);
}

TEST_F(SimLibrary, OneAdapterNamedSim) {
    fet_int count = 0;
    ASSERT_EQ(sim.MSP430_GetNumberOfUsbIfs(&count), 0);
    EXPECT_EQ(count, 1);
    char* name = nullptr;
    fet_int in_use = -1;
    ASSERT_EQ(sim.MSP430_GetNameOfUsbIf(0, &name, &in_use), 0);
    EXPECT_STREQ(name, "SIM");
    EXPECT_EQ(in_use, 0);
    EXPECT_NE(sim.MSP430_GetNameOfUsbIf(1, &name, &in_use), 0);
}

TEST_F(SimLibrary, ErrorStringOfAnotherNumberGivesTheTableText) {
    ASSERT_EQ(open("SIM"), 0);
    EXPECT_NE(sim.MSP430_VCC(5000), 0);
    EXPECT_STREQ(sim.MSP430_Error_String(sim.MSP430_Error_Number()),
                 "Vcc of 5000 mV is out of range: 0 (off) or 1800 to 3600 mV");
    EXPECT_STREQ(sim.MSP430_Error_String(0), "No error");
    EXPECT_STREQ(sim.MSP430_Error_String(12345), "Unknown error number");
}
