#include "fet/programming_pass.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "base/console.h"
#include "base/run_settings.h"
#include "fet/fet_library.h"
#include "platform/port_hints.h"
#include "support/fake_fet.h"
#include "support/scratch_folder.h"

const std::string ID = "Identifed: MSP430G2553 ID:2553\n", FAILED = " -Fake error text\n";
const std::string INIT_VCC = "Initializing FET -OK. DLL Version:30301\nSet Vcc -OK\n";
const std::string START = R"(MSP430_Initialize("TIUSB") MSP430_VCC(3200) MSP430_Identify(80,0))";
// The pass reads the image itself, so it has to be there.
const ScratchFolder scratch;
const std::string IMAGE = scratch.write("test.hex", ":01C000007FC0\n:00000001FF\n"), QUOTED = '"' + IMAGE + '"';

// The flags are toggled, so that a default can be turned off.
static FakeFet& fresh(std::uint32_t flags = 0, int level = 2) {
    FakeFet& fake = fake_fet_reset();
    settings.anykey_mode = 0, settings.flags ^= flags, settings.print_level = level;
    settings.program_file = IMAGE, settings.read_out_file = "out.hex";
    return fake;
}

static FakeRun pass() { return run_with_fake(programming_pass); }

const std::string CONFLICT = "Version conflict between the DLL and USB FET Firmware\n";

// The text or the calls are left out where empty.
TEST(ProgrammingPass, EachStepInItsPlace) {
    const std::uint32_t ebpv = FLAG_ERASE_ALL | FLAG_BLANK_CHECK | FLAG_PROGRAM | FLAG_VERIFY;
    const std::string reset_close = " MSP430_Reset(7,1,0) MSP430_Close(0)";
    const struct { std::uint32_t flags; int level; std::function<void(FakeFet&)> set; std::string text, calls;
                   int status = CAPTURE_RETURNED; } cases[] = {
        {ebpv, 2, {}, ID + "Programm & Verify...wait... -OK\n", START + " MSP430_Configure(0,1) "
         "MSP430_Erase(1,0xFFFE,2) MSP430_EraseCheck(0xC000,16384) MSP430_ProgramFile(" + QUOTED + ",1,1)" + reset_close},
        {ebpv, 3, {}, INIT_VCC + ID + "Configure verification -OK\nErase All -OK\nBlank Check -OK\nProgramm & "
         "Verify...wait... -OK\nReset/Start device -OK\nClosing Interface -OK\n", ""},
        // 256 KiB of flash: the length needs all 32 bits.
        {FLAG_POWER_OFF | FLAG_PROGRAM | FLAG_UNLOCK_INFO | FLAG_ERASE_INFO | FLAG_ERASE_INFO_A | FLAG_ERASE_ALL |
         FLAG_BLANK_CHECK | FLAG_READ_OUT | FLAG_BLOW_FUSE | FLAG_PRESERVE_RAM, 2, [](FakeFet& fake) {
             settings.interface_mode = 1, settings.vcc_mv = 3650, settings.reset_method = 3;
             fake.identify_record.set_word(DEV_FLASH_START, 0x5C00);
             fake.identify_record.set_dword(DEV_FLASH_END, 0x45BFF);
         }, "", R"(MSP430_Initialize("TIUSB") MSP430_Configure(8,1) MSP430_VCC(3650) MSP430_Identify(80,0) )"
         R"(MSP430_Configure(10,0) MSP430_Configure(5,1) MSP430_Erase(0,0x1000,64) MSP430_Erase(0,0x1040,64) )"
         R"(MSP430_Erase(0,0x1080,64) MSP430_Erase(0,0x10C0,128) MSP430_Erase(1,0xFFFE,2) )"
         "MSP430_EraseCheck(0x5C00,262144) MSP430_ProgramFile(" + QUOTED + ",1,0) "
         R"(MSP430_ReadOutFile(0x5C00,262144,"out.hex",2) MSP430_Secure() MSP430_Reset(3,1,0) MSP430_Close(1))"},
        // The info erase leaves segment A; reset method 0 leaves out the reset.
        {FLAG_ERASE_INFO, 3,
         [](FakeFet& fake) { fake.identify_record.set_word(DEV_INFO_START, 0x1800), settings.reset_method = 0; },
         INIT_VCC + ID + "Info Memory Unlock -OK\nErase Info Memory (Exclude'A') -OK\nClosing Interface -OK\n",
         START + " MSP430_Configure(5,1) MSP430_Erase(0,0x1800,64) MSP430_Erase(0,0x1840,64) MSP430_Erase(0,0x1880,64) "
         "MSP430_Close(0)"},
        {FLAG_VERIFY | FLAG_ERASE_INFO | FLAG_ERASE_ALL, 2, {}, ID + "Verify...wait... -OK\n", START +
         " MSP430_Configure(0,1) MSP430_VerifyFile(" + QUOTED + ") MSP430_Configure(5,1) MSP430_Erase(0,0x1000,64) "
         "MSP430_Erase(0,0x1040,64) MSP430_Erase(0,0x1080,64) MSP430_Erase(1,0xFFFE,2)" + reset_close},
        {FLAG_DETECT_ONLY | FLAG_ERASE_ALL | FLAG_PROGRAM, 2, {}, ID, START, exit_status_for(EXIT_DONE)},
        {FLAG_DETECT_ONLY | FLAG_EXT_VCC, 2, {}, "External power Good: 3.3V\n" + ID,
         R"(MSP430_Initialize("TIUSB") MSP430_GetExtVoltage() MSP430_Identify(80,0))", exit_status_for(EXIT_DONE)},
        {0, 2, [](FakeFet& fake) { fake.dll_version = -3; }, CONFLICT + "Run again with -update to update the "
         "adapter's firmware to the library's; an update that fails midway can leave the adapter unusable until it is "
         "recovered\n",
         R"(MSP430_Initialize("TIUSB"))", 1},
        {FLAG_DLL_CHECK, 3, [](FakeFet& fake) { fake.dll_version = -3; }, "Initializing FET -OK. DLL Version:-3\n" +
         CONFLICT + "Set Vcc -OK\n" + ID + "Reset/Start device -OK\nClosing Interface -OK\n", ""},
        // Once the fuse is blown the target no longer answers: a failing reset counts as done.
        {FLAG_BLOW_FUSE, 3, [](FakeFet& fake) { fake.fail("MSP430_Reset"); }, INIT_VCC + ID + "Blowing the device "
         "security fuse -OK\nReset/Start device -OK\nClosing Interface -OK\n", ""},
        {0, 2, [](FakeFet& fake) { fake.fail("MSP430_Reset"), settings.fuse_status = 0; }, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + c.calls);
        FakeFet& fake = fresh(c.flags, c.level);
        if (c.set) c.set(fake);
        const FakeRun run = pass();
        EXPECT_EQ(run.out.text, c.text.empty() ? run.out.text : c.text);
        EXPECT_EQ(run.calls, c.calls.empty() ? run.calls : c.calls);
        EXPECT_EQ(run.out.status, c.status);
    }
}

// Each step once, the blocks at most every 10%.
TEST(ProgrammingPass, FirmwareUpdateOnAConflict) {
    const std::string update = "Firmware update: ", calls = R"(MSP430_Initialize("TIUSB") MSP430_FET_FwUpdate(NULL,0))";
    const std::string steps = CONFLICT + update + "starting\n" + update + "erasing the firmware\n" + update +
        "programming\n" + update + "10%\n" + update + "20%\n" + update + "55%\n" + update + "99%\n" + update +
        "step 12\n" + update + "done\n";
    const struct { fet_int version; bool call = true; int fail = 0; std::string text, calls; int status = CAPTURE_RETURNED; }
        cases[] = {
        {-1, true, 0, steps + ID, calls + " MSP430_VCC(3200) MSP430_Identify(80,0) MSP430_Reset(7,1,0) MSP430_Close(0)"},
        {-3, true, 1, steps + "Firmware update -Fake error text\n", calls + " MSP430_Error_Number() MSP430_Error_String(17)",
         1},
        {-1, false, 0, CONFLICT + "This FET library cannot update the adapter's firmware (it has no "
         "MSP430_FET_FwUpdate); -update needs the library's current generation\n", R"(MSP430_Initialize("TIUSB"))", 1},
        {30301, true, 0, ID, START + " MSP430_Reset(7,1,0) MSP430_Close(0)"},  // no conflict, no update
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FakeFet& fake = fresh();
        fake.dll_version = c.version, fake.firmware_update_call = c.call, settings.update_firmware = true;
        if (c.fail) fake.fail("MSP430_FET_FwUpdate");
        fake.firmware_progress = {{0, 0}, {2, 0}, {3, 0}, {4, 3}, {3, 0}, {4, 9}, {4, 10}, {3, 0}, {4, 19}, {4, 20},
                                  {4, 55}, {4, 99}, {4, 100}, {12, 0}, {6, 0}};
        const FakeRun run = pass();
        EXPECT_EQ(run.out.text, c.text);
        EXPECT_EQ(run.calls, c.calls);
        EXPECT_EQ(run.out.status, c.status);
    }
}

TEST(ProgrammingPass, EveryFailurePlace) {
    const struct { std::uint32_t flags; int level; const char* function; int nth; std::string text; fet_int result = 1; }
        places[] = {
        {0, 2, "MSP430_Initialize", 1, "Initializing FET" + FAILED},
        {FLAG_EXT_VCC, 2, "MSP430_GetExtVoltage", 1, "Check External Vcc" + FAILED},
        {0, 2, "MSP430_VCC", 1, "Set Vcc" + FAILED},
        {0, 2, "MSP430_Identify", 1, "Device Not Found/" + FAILED},
        {0, 0, "MSP430_Identify", 1, FAILED},
        {FLAG_VERIFY, 2, "MSP430_Configure", 1, ID + "Configure verification" + FAILED},
        {FLAG_VERIFY, 2, "MSP430_VerifyFile", 1, ID + "Verify...wait..." + FAILED},
        {FLAG_PRESERVE_RAM, 2, "MSP430_Configure", 1, ID + "Disable RAM preserving" + FAILED},
        {FLAG_UNLOCK_INFO, 2, "MSP430_Configure", 1, ID + "Info Memory Unlock" + FAILED},
        {FLAG_ERASE_INFO, 2, "MSP430_Erase", 2, ID + "Block:1040Erase Info Memory" + FAILED},
        {FLAG_ERASE_INFO, 3, "MSP430_Erase", 3,
         INIT_VCC + ID + "Info Memory Unlock -OK\nErase Info MemoryBlock:1080" + FAILED},
        {FLAG_ERASE_ALL, 2, "MSP430_Erase", 1, ID + "Erase All" + FAILED, INT32_MIN},  // the sign bit alone
        {FLAG_BLANK_CHECK, 2, "MSP430_EraseCheck", 1, ID + "Blank Check" + FAILED},
        {FLAG_PROGRAM, 2, "MSP430_ProgramFile", 1, ID + "Programming...wait..." + FAILED},
        {FLAG_READ_OUT, 2, "MSP430_ReadOutFile", 1, ID + "Read. Wait..." + FAILED},
        {FLAG_BLOW_FUSE, 2, "MSP430_Secure", 1, ID + "Blowing the device security fuse" + FAILED},
        {0, 2, "MSP430_Reset", 1, ID + "Reset/Start device" + FAILED},
        {0, 2, "MSP430_Close", 1, ID + "Closing Interface" + FAILED},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.text);
        fresh(place.flags, place.level).fail(place.function, place.nth, place.result);
        const FakeRun run = pass();
        EXPECT_EQ(run.out.text, place.text);
        EXPECT_EQ(run.out.status, 1);
        const std::string tail = run.calls.substr(run.calls.rfind(place.function));
        EXPECT_EQ(tail.substr(tail.find(')')), ") MSP430_Error_Number() MSP430_Error_String(17)");
    }
    fresh(FLAG_ERASE_ALL).fail("MSP430_Erase");
    fake_fet.error_text = nullptr;  // a library without a text must not bring the program down
    EXPECT_EQ(pass().out.text, ID + "Erase All -\n");
    fresh(FLAG_ERASE_ALL).fail("MSP430_Erase");
    fake_fet.error_text = "Bad\x1b]0;title\x07\x7f";  // nor send control sequences to the terminal
    EXPECT_EQ(pass().out.text, ID + "Erase All -Bad\\x1B]0;title\\x07\\x7F\n");
}

// "Not found" or "in use" from a vendor's library may mean an adapter the user may not open.
TEST(ProgrammingPass, AnAdapterNotFoundOrInUseGetsTheHint) {
    static fet_int error = 0;
    const struct { FetGeneration generation; fet_int error; bool hint; } cases[] = {
        {FetGeneration::original, ADAPTER_NOT_FOUND, true}, {FetGeneration::current, ADAPTER_IN_USE, true},
        {FetGeneration::builtin, ADAPTER_NOT_FOUND, false}, {FetGeneration::current, 17, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        fresh().fail("MSP430_Initialize");
        static FetLibrary table;
        table = *fet;
        table.MSP430_Error_Number = []() FET_CALL { return error; };
        fet = &table, fet_generation = c.generation, error = c.error;
        const FakeRun run = pass();
        EXPECT_EQ(run.out.text, "Initializing FET" + FAILED + (c.hint ? fet_adapter_hint() : ""));
        EXPECT_EQ(run.out.status, 1);
    }
}

// Also in a later pass (F9) after a build left a broken file behind.
TEST(ProgrammingPass, ABadImageEndsTheRunWithTheChipUntouched) {
    const std::uint32_t ebpv = FLAG_ERASE_ALL | FLAG_BLANK_CHECK | FLAG_PROGRAM | FLAG_VERIFY;
    const struct { const char* name; std::string content, text; bool identified; } cases[] = {
        {"missing.hex", "", "Cannot open %s: No such file or directory", false},
        {"ram.hex", ":02020000AA55FD\n:00000001FF\n",
         "%s: the image has data at 0x0200, outside the flash (C000..FFFF) and the information memory (1000..10FF) "
         "of MSP430G2553", true},
        {"segment_a.hex", ":0110C00055DA\n:00000001FF\n",
         "%s: the image has data at 0x10C0 in information segment A, which is locked; +i unlocks it (so does +x, "
         "which with -ia also erases it)", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.content.empty() ? scratch.path(c.name) : scratch.write(c.name, c.content);
        const std::string text = (c.identified ? ID : "") + std::string(c.text).replace(c.text.find("%s"), 2, path);
        fresh(ebpv);
        settings.program_file = path;
        FakeRun run = pass();
        EXPECT_EQ(run.out.text, text + "\n");
        EXPECT_EQ(run.out.status, 1);
        EXPECT_EQ(run.calls, c.identified ? START : "");
        fresh(ebpv);
        run = run_with_fake([&] {
            programming_pass();
            settings.program_file = path;
            programming_pass();
        });
        EXPECT_EQ(run.out.text, ID + "Programm & Verify...wait... -OK\n" + text + "\n");
        EXPECT_EQ(run.calls.find("MSP430_Erase", run.calls.find("MSP430_Close")), std::string::npos);
        EXPECT_EQ(run.out.status, 1);
    }
}

// A record at the edges of its fields.
TEST(ProgrammingPass, DeviceReport) {
    DeviceRecord& record = fresh(FLAG_DETECT_ONLY | FLAG_INFO).identify_record;
    for (int i = 0; i < DEVICE_NAME_SIZE; ++i) record.bytes[DEV_NAME + i] = 'N';
    for (const auto& [field, value] : {std::pair{DEV_FLASH_START, 0}, {DEV_BSL_END, 0xC00}, {DEV_LCD_START, 0x91},
                                       {DEV_LCD_END, 0xBD}, {DEV_EXT_RAM_START, 0x8000}, {DEV_EXT_RAM_END, 0x9FFF},
                                       {DEV_BREAKPOINTS, 0xFFFF}, {DEV_VCC_MAX, 3650}, {DEV_TEST_VPP, 1}})
        record.set_word(field, value);
    record.set_dword(DEV_FLASH_END, 0xFFFFF);
    EXPECT_EQ(pass().out.text, " Device Vcc: 3.2V\n     Device: " + std::string(31, 'N') + " ID:2553\n      Flash: 1024K "
              "\t(0000..FFFFF)\n       Info: 256B \t(1000..10FF)\n        RAM: 0K \t(0200..03FF)\n    Ext RAM: 8K \t"
              "(8000..9FFF)\nBreakpoints: 65535\n  Emulation: 1\nCLK Control: 1\n        LCD: 0091..00BD\n"
              "        Vcc: 1.8V...3.6V\n   Test Vpp: 1\n\n");
}

TEST(ProgrammingPass, SegmentAIsWrittenWhenThePassUnlocksIt) {
    const std::string image = scratch.write("info_a.hex", ":0110C00055DA\n:00000001FF\n");
    for (const auto& [flags, part] : {std::pair{FLAG_UNLOCK_INFO, "MSP430G2553"}, {FLAG_ERASE_INFO, "MSP430G2553"},
                                      {0u, "MSP430F149"}}) {
        SCOPED_TRACE(part);
        fresh(FLAG_ERASE_ALL | FLAG_PROGRAM | flags).identify_record = make_device_record(part);
        settings.program_file = image;
        const FakeRun run = pass();
        EXPECT_EQ(run.out.status, CAPTURE_RETURNED) << run.out.text;
        EXPECT_NE(run.calls.find("MSP430_ProgramFile"), std::string::npos);
    }
}
