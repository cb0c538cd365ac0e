#include "fet/programming_pass.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "driver/run_settings.h"
#include "support/fake_fet.h"

namespace {

using Calls = std::vector<std::string>;

const std::string IDENTIFIED = "Identifed: MSP430G2553 ID:2553\n";
const std::string INIT_OK = "Initializing FET -OK. DLL Version:30301\n";
const std::string ERROR_CALLS[] = {"MSP430_Error_Number()", "MSP430_Error_String(17)"};

class ProgrammingPass : public ::testing::Test {
protected:
    void SetUp() override {
        fake_fet_reset();
        settings.anykey_mode = 0;  // exit_program must not wait for a key
        settings.program_file = "test.hex";
    }

    static FakeRun pass() {
        return run_with_fake([] { programming_pass(); });
    }

    // For the procedures that return: the child ends with their result as its status.
    static FakeRun returned(const std::function<int()>& procedure) {
        return run_with_fake([&procedure] {
            const int result = procedure();
            std::fflush(stdout);
            _exit(result);
        });
    }
};

// ---------------------------------------------------------------------------------------------
// A whole pass

TEST_F(ProgrammingPass, EraseBlankProgramVerifyAtDefaultLevelShowsTwoLines) {
    settings.flags |= FLAG_ERASE_ALL | FLAG_BLANK_CHECK | FLAG_PROGRAM | FLAG_VERIFY;
    const FakeRun run = pass();
    EXPECT_EQ(run.out.text, IDENTIFIED + "Programm & Verify...wait... -OK\n");
    EXPECT_EQ(run.out.status, CAPTURE_RETURNED);
    EXPECT_EQ(run.calls, (Calls{"MSP430_Initialize(\"TIUSB\")", "MSP430_VCC(3200)", "MSP430_Identify(80,0)",
                                "MSP430_Configure(0,1)", "MSP430_Erase(1,0xFFFE,2)",
                                "MSP430_EraseCheck(0xC000,16384)", "MSP430_ProgramFile(\"test.hex\",1,1)",
                                "MSP430_Reset(7,1,0)", "MSP430_Close(0)"}));
}

TEST_F(ProgrammingPass, EraseBlankProgramVerifyAtLevelThreeTracesEveryStep) {
    settings.flags |= FLAG_ERASE_ALL | FLAG_BLANK_CHECK | FLAG_PROGRAM | FLAG_VERIFY;
    settings.print_level = 3;
    const FakeRun run = pass();
    EXPECT_EQ(run.out.text, INIT_OK +
                                "Set Vcc -OK\n" + IDENTIFIED +
                                "Configure verification -OK\n"
                                "Erase All -OK\n"
                                "Blank Check -OK\n"
                                "Programm & Verify...wait... -OK\n"
                                "Reset/Start device -OK\n"
                                "Closing Interface -OK\n");
    EXPECT_EQ(run.out.status, CAPTURE_RETURNED);
}

TEST_F(ProgrammingPass, EveryOptionalStepInItsPlace) {
    settings.flags = FLAG_AUTOSTART | FLAG_POWER_OFF | FLAG_PROGRAM | FLAG_UNLOCK_INFO | FLAG_ERASE_INFO |
                     FLAG_ERASE_INFO_A | FLAG_ERASE_ALL | FLAG_BLANK_CHECK | FLAG_READ_OUT | FLAG_BLOW_FUSE;
    settings.interface_mode = 1;
    settings.vcc_mv = 3650;
    settings.reset_method = 3;
    settings.read_out_file = "out.hex";
    settings.print_level = 3;
    fake_fet.identify_record = make_device_record({.flash_start = 0x5C00, .flash_end = 0x45BFF});
    const FakeRun run = pass();
    EXPECT_EQ(run.out.text, INIT_OK +
                                "Configure Inteface Mode -OK\n"
                                "Set Vcc -OK\n" +
                                IDENTIFIED +
                                "Disable RAM preserving -OK\n"
                                "Info Memory Unlock -OK\n"
                                "Erase Info Memory -OK\n"
                                "Erase All -OK\n"
                                "Blank Check -OK\n"
                                "Programming...wait... -OK\n"
                                "Read. Wait... -OK\n"
                                "Blowing the device security fuse -OK\n"
                                "Reset/Start device -OK\n"
                                "Closing Interface -OK\n");
    // The flash length counts the whole 32-bit range: 0x45BFF - 0x5C00 + 1 = 256 KiB.
    EXPECT_EQ(run.calls, (Calls{"MSP430_Initialize(\"TIUSB\")", "MSP430_Configure(8,1)", "MSP430_VCC(3650)",
                                "MSP430_Identify(80,0)", "MSP430_Configure(10,0)", "MSP430_Configure(5,1)",
                                "MSP430_Erase(0,0x1000,64)", "MSP430_Erase(0,0x1040,64)",
                                "MSP430_Erase(0,0x1080,64)", "MSP430_Erase(0,0x10C0,128)",
                                "MSP430_Erase(1,0xFFFE,2)", "MSP430_EraseCheck(0x5C00,262144)",
                                "MSP430_ProgramFile(\"test.hex\",1,0)",
                                "MSP430_ReadOutFile(0x5C00,262144,\"out.hex\",2)", "MSP430_Secure()",
                                "MSP430_Reset(3,1,0)", "MSP430_Close(1)"}));
}

TEST_F(ProgrammingPass, VerifyAloneComesBeforeAnyErase) {
    settings.flags |= FLAG_VERIFY | FLAG_ERASE_INFO | FLAG_ERASE_ALL;
    const FakeRun run = pass();
    EXPECT_EQ(run.out.text, IDENTIFIED + "Verify...wait... -OK\n");
    const Calls& c = run.calls;
    ASSERT_GE(c.size(), 6u);
    EXPECT_EQ(Calls(c.begin() + 3, c.begin() + 6),
              (Calls{"MSP430_Configure(0,1)", "MSP430_VerifyFile(\"test.hex\")", "MSP430_Configure(5,1)"}));
    EXPECT_TRUE(fake_fet.calls_of("MSP430_ProgramFile").empty());
}

TEST_F(ProgrammingPass, InfoEraseLeavesSegmentAUnlessAskedFor) {
    settings.flags |= FLAG_ERASE_INFO;
    settings.print_level = 3;
    settings.reset_method = 0;
    fake_fet.identify_record = make_device_record({.info_start = 0x1800, .info_end = 0x18FF});
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + IDENTIFIED +
                                "Info Memory Unlock -OK\n"
                                "Erase Info Memory (Exclude'A') -OK\n"
                                "Closing Interface -OK\n");
    EXPECT_EQ(Calls(run.calls.begin() + 3, run.calls.end()),
              (Calls{"MSP430_Configure(5,1)", "MSP430_Erase(0,0x1800,64)", "MSP430_Erase(0,0x1840,64)",
                     "MSP430_Erase(0,0x1880,64)", "MSP430_Close(0)"}));

    settings.flags |= FLAG_ERASE_INFO_A;
    run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + IDENTIFIED +
                                "Info Memory Unlock -OK\n"
                                "Erase Info Memory -OK\n"
                                "Closing Interface -OK\n");
    EXPECT_EQ(Calls(run.calls.begin() + 4, run.calls.end() - 1),
              (Calls{"MSP430_Erase(0,0x1800,64)", "MSP430_Erase(0,0x1840,64)", "MSP430_Erase(0,0x1880,64)",
                     "MSP430_Erase(0,0x18C0,128)"}));
}

TEST_F(ProgrammingPass, DetectOnlyEndsDoneAndLeavesTheLibraryOpen) {
    settings.flags |= FLAG_DETECT_ONLY | FLAG_ERASE_ALL | FLAG_PROGRAM;
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, IDENTIFIED);
    EXPECT_EQ(run.out.status, 0);  // EXIT_DONE
    EXPECT_EQ(run.calls, (Calls{"MSP430_Initialize(\"TIUSB\")", "MSP430_VCC(3200)", "MSP430_Identify(80,0)"}));

    // With the device report instead of the identification line, after the supply line.
    settings.flags |= FLAG_INFO;
    run = pass();
    const std::string head = " Device Vcc: 3.2V\n     Device: MSP430G2553 ID:2553\n";
    EXPECT_EQ(run.out.text.substr(0, head.size()), head);
    EXPECT_EQ(run.out.text.find("Identifed"), std::string::npos);
    EXPECT_EQ(run.out.status, 0);
}

TEST_F(ProgrammingPass, ExternalSupplyIsReportedAndThePassGoesOn) {
    settings.flags |= FLAG_EXT_VCC | FLAG_INFO | FLAG_DETECT_ONLY;
    fake_fet.ext_millivolts = 3650;
    const struct {
        fet_int state;
        std::string line;
    } cases[] = {
        {EXT_VCC_NONE, "No External power was detected\n"},
        {EXT_VCC_LOW, "External power too LOW: 3.6V\n"},
        {EXT_VCC_GOOD, "External power Good: 3.6V\n"},
        {EXT_VCC_HIGH, "External power too HIGH: 3.6V\n"},
        {40, "External power: Unknown error\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        fake_fet.ext_state = c.state;
        const FakeRun run = pass();
        // No "Set Vcc" and no " Device Vcc" line: the report follows at once.
        EXPECT_EQ(run.out.text.substr(0, c.line.size() + 16), c.line + "     Device: MSP");
        EXPECT_EQ(run.calls, (Calls{"MSP430_Initialize(\"TIUSB\")", "MSP430_GetExtVoltage()", "MSP430_Identify(80,0)"}));
        EXPECT_EQ(run.out.status, 0);
    }
}

TEST_F(ProgrammingPass, NegativeDllVersionFailsOnlyWhileTheCheckIsOn) {
    fake_fet.dll_version = -3;
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, "Version conflict between the DLL and USB FET Firmware\n");
    EXPECT_EQ(run.out.status, 1);
    EXPECT_EQ(run.calls, (Calls{"MSP430_Initialize(\"TIUSB\")"}));

    settings.flags &= ~FLAG_DLL_CHECK;
    settings.print_level = 3;
    settings.reset_method = 0;
    run = pass();
    EXPECT_EQ(run.out.text, "Initializing FET -OK. DLL Version:-3\n"
                            "Version conflict between the DLL and USB FET Firmware\n"
                            "Set Vcc -OK\n" +
                                IDENTIFIED + "Closing Interface -OK\n");
    EXPECT_EQ(run.out.status, CAPTURE_RETURNED);
}

TEST_F(ProgrammingPass, ResetMethodZeroSkipsTheReset) {
    settings.reset_method = 0;
    settings.print_level = 3;
    const FakeRun run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + IDENTIFIED + "Closing Interface -OK\n");
    EXPECT_TRUE(fake_fet.calls_of("MSP430_Reset").empty());
    EXPECT_EQ(run.calls.back(), "MSP430_Close(0)");
}

TEST_F(ProgrammingPass, FailedResetAfterAFuseBlowCountsAsDone) {
    settings.flags |= FLAG_BLOW_FUSE;
    settings.print_level = 3;
    fake_fet.fail("MSP430_Reset");
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + IDENTIFIED +
                                "Blowing the device security fuse -OK\n"
                                "Reset/Start device -OK\n"
                                "Closing Interface -OK\n");
    EXPECT_EQ(run.out.status, CAPTURE_RETURNED);

    // A fuse blown in an earlier pass of the run still counts; only 999 (never blown) fails.
    settings.flags &= ~FLAG_BLOW_FUSE;
    settings.print_level = 2;
    settings.fuse_status = 0;
    run = returned([] { return reset_device(4); });
    EXPECT_EQ(run.out.status, 0);
    settings.fuse_status = 999;
    run = returned([] { return reset_device(4); });
    EXPECT_EQ(run.out.text, "Reset/Start device -Fake error text\n");
    EXPECT_EQ(run.out.status, 1);
}

TEST_F(ProgrammingPass, StatusWiderThanAnIntStillFails) {
    settings.flags |= FLAG_ERASE_ALL;
    fake_fet.fail("MSP430_Erase", 1, fet_int{1} << 32);  // a long status whose low half is 0
    const FakeRun run = pass();
    EXPECT_EQ(run.out.text, IDENTIFIED + "Erase All -Fake error text\n");
    EXPECT_EQ(run.out.status, 1);
}

// ---------------------------------------------------------------------------------------------
// Each place where a pass can fail: the message, exit status 1, and no library call after the
// failing one but the two error queries.

struct FailurePlace {
    const char* name;
    std::uint32_t flags;  // added to the defaults
    const char* function;
    int nth;
    std::string level2;
    std::string failing_call;
};

TEST_F(ProgrammingPass, EveryFailurePlaceAtDefaultLevel) {
    const FailurePlace places[] = {
        {"init", 0, "MSP430_Initialize", 1, "Initializing FET -Fake error text\n", "MSP430_Initialize(\"TIUSB\")"},
        {"external supply", FLAG_EXT_VCC, "MSP430_GetExtVoltage", 1, "Check External Vcc -Fake error text\n",
         "MSP430_GetExtVoltage()"},
        {"set vcc", 0, "MSP430_VCC", 1, "Set Vcc -Fake error text\n", "MSP430_VCC(3200)"},
        {"identify", 0, "MSP430_Identify", 1, "Device Not Found/ -Fake error text\n", "MSP430_Identify(80,0)"},
        {"verification setup", FLAG_VERIFY, "MSP430_Configure", 1,
         IDENTIFIED + "Configure verification -Fake error text\n", "MSP430_Configure(0,1)"},
        {"verify", FLAG_VERIFY, "MSP430_VerifyFile", 1, IDENTIFIED + "Verify...wait... -Fake error text\n",
         "MSP430_VerifyFile(\"test.hex\")"},
        {"ram", 0, "MSP430_Configure", 1, IDENTIFIED + "Disable RAM preserving -Fake error text\n",
         "MSP430_Configure(10,0)"},
        {"unlock", FLAG_UNLOCK_INFO, "MSP430_Configure", 1, IDENTIFIED + "Info Memory Unlock -Fake error text\n",
         "MSP430_Configure(5,1)"},
        {"info erase", FLAG_ERASE_INFO, "MSP430_Erase", 2, IDENTIFIED + "Block:1040Erase Info Memory -Fake error text\n",
         "MSP430_Erase(0,0x1040,64)"},
        {"erase all", FLAG_ERASE_ALL, "MSP430_Erase", 1, IDENTIFIED + "Erase All -Fake error text\n",
         "MSP430_Erase(1,0xFFFE,2)"},
        {"blank check", FLAG_BLANK_CHECK, "MSP430_EraseCheck", 1, IDENTIFIED + "Blank Check -Fake error text\n",
         "MSP430_EraseCheck(0xC000,16384)"},
        {"program", FLAG_PROGRAM, "MSP430_ProgramFile", 1, IDENTIFIED + "Programming...wait... -Fake error text\n",
         "MSP430_ProgramFile(\"test.hex\",1,0)"},
        {"read out", FLAG_READ_OUT, "MSP430_ReadOutFile", 1, IDENTIFIED + "Read. Wait... -Fake error text\n",
         "MSP430_ReadOutFile(0xC000,16384,\"out.hex\",2)"},
        {"fuse", FLAG_BLOW_FUSE, "MSP430_Secure", 1,
         IDENTIFIED + "Blowing the device security fuse -Fake error text\n", "MSP430_Secure()"},
        {"reset", 0, "MSP430_Reset", 1, IDENTIFIED + "Reset/Start device -Fake error text\n", "MSP430_Reset(7,1,0)"},
        {"close", 0, "MSP430_Close", 1, IDENTIFIED + "Closing Interface -Fake error text\n", "MSP430_Close(0)"},
    };
    for (const FailurePlace& place : places) {
        SCOPED_TRACE(place.name);
        fake_fet_reset();
        settings.anykey_mode = 0;
        settings.program_file = "test.hex";
        settings.read_out_file = "out.hex";
        settings.flags |= place.flags;
        if (std::string(place.name) == "ram") settings.flags &= ~FLAG_PRESERVE_RAM;
        fake_fet.fail(place.function, place.nth);
        const FakeRun run = pass();
        EXPECT_EQ(run.out.text, place.level2);
        EXPECT_EQ(run.out.status, 1);
        ASSERT_GE(run.calls.size(), 3u);
        EXPECT_EQ(Calls(run.calls.end() - 3, run.calls.end()),
                  (Calls{place.failing_call, ERROR_CALLS[0], ERROR_CALLS[1]}));
    }
}

TEST_F(ProgrammingPass, InitialisationFailuresEndTheRun) {
    settings.interface_mode = 2;
    fake_fet.fail("MSP430_Configure");
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, "Configure Inteface Mode -Fake error text\n");
    EXPECT_EQ(run.out.status, 1);
    EXPECT_EQ(run.calls, (Calls{"MSP430_Initialize(\"TIUSB\")", "MSP430_Configure(8,2)", ERROR_CALLS[0],
                                ERROR_CALLS[1]}));

    settings.print_level = 3;
    run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Configure Inteface Mode -Fake error text\n");
}

// At level 3 a step has shown its title already, so a report of level 2 adds only the text.
TEST_F(ProgrammingPass, FailuresAtLevelThree) {
    settings.print_level = 3;
    settings.flags |= FLAG_ERASE_ALL;
    fake_fet.fail("MSP430_Erase");
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + IDENTIFIED + "Erase All -Fake error text\n");
    EXPECT_EQ(run.out.status, 1);

    fake_fet_reset();
    settings.anykey_mode = 0;
    settings.print_level = 3;
    settings.flags |= FLAG_ERASE_INFO;
    fake_fet.fail("MSP430_Erase", 3);
    run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + IDENTIFIED +
                                "Info Memory Unlock -OK\n"
                                "Erase Info MemoryBlock:1080 -Fake error text\n");

    fake_fet_reset();
    settings.anykey_mode = 0;
    settings.print_level = 3;
    fake_fet.fail("MSP430_Identify");
    run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + "Device Not Found/ -Fake error text\n");
    EXPECT_EQ(run.out.status, 1);

    fake_fet.fail("MSP430_Identify", 1, 0);
    fake_fet.fail("MSP430_Reset");
    run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set Vcc -OK\n" + IDENTIFIED + "Reset/Start device -Fake error text\n");
}

// Steps whose report level equals their title level (3) show the title again in the report
// when the print level is exactly 3; from 4 on only the text follows.
TEST_F(ProgrammingPass, SupplyAndInitialisationReportsRepeatTheirTitleAtLevelThree) {
    settings.print_level = 3;
    fake_fet.fail("MSP430_VCC");
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, INIT_OK + "Set VccSet Vcc -Fake error text\n");

    fake_fet.fail("MSP430_Initialize");
    run = pass();
    EXPECT_EQ(run.out.text, "Initializing FETInitializing FET -Fake error text\n");

    settings.print_level = 4;
    run = pass();
    EXPECT_EQ(run.out.text, "Initializing FET -Fake error text\n");
}

TEST_F(ProgrammingPass, IdentificationFailureAtLevelOneAndZero) {
    fake_fet.fail("MSP430_Identify");
    settings.print_level = 1;
    FakeRun run = pass();
    EXPECT_EQ(run.out.text, "Device Not Found/ -Fake error text\n");
    settings.print_level = 0;
    run = pass();
    EXPECT_EQ(run.out.text, " -Fake error text\n");
    EXPECT_EQ(run.out.status, 1);
}

// ---------------------------------------------------------------------------------------------
// init_fet and reset_device as the terminal's reset key uses them

TEST_F(ProgrammingPass, InitFetResults) {
    settings.interface_mode = 1;
    FakeRun run = returned([] { return init_fet(4); });
    EXPECT_EQ(run.out.status, 0);
    EXPECT_EQ(run.out.text, "");  // level 4 is above the default print level
    EXPECT_EQ(run.calls, (Calls{"MSP430_Initialize(\"TIUSB\")", "MSP430_Configure(8,1)"}));

    settings.print_level = 4;
    run = returned([] { return init_fet(4); });
    EXPECT_EQ(run.out.text, INIT_OK + "Configure Inteface Mode -OK\n");

    // A level below 3 is raised to 3.
    settings.print_level = 3;
    run = returned([] { return init_fet(1); });
    EXPECT_EQ(run.out.text, INIT_OK + "Configure Inteface Mode -OK\n");

    settings.print_level = 2;
    fake_fet.fail("MSP430_Initialize");
    run = returned([] { return init_fet(4); });
    EXPECT_EQ(run.out.status, 1);
    EXPECT_EQ(run.out.text, "Initializing FET -Fake error text\n");

    fake_fet_reset();
    fake_fet.dll_version = -1;
    run = returned([] { return init_fet(4); });
    EXPECT_EQ(run.out.status, 2);

    fake_fet_reset();
    settings.interface_mode = 0;
    fake_fet.fail("MSP430_Configure");
    run = returned([] { return init_fet(4); });
    EXPECT_EQ(run.out.status, 3);
    EXPECT_EQ(run.calls[1], "MSP430_Configure(8,0)");
}

// ---------------------------------------------------------------------------------------------
// The error report

TEST_F(ProgrammingPass, ErrorReportHasTwoForms) {
    fake_fet.error_number = 4;
    fake_fet.error_text = "Could not find device";
    settings.print_level = 2;
    FakeRun run = run_with_fake([] {
        report_library_error(2, "Title");
        report_library_error(1, "Title");
        report_library_error(3, "");
    });
    EXPECT_EQ(run.out.text, "Title -Could not find device\n -Could not find device\n -Could not find device\n");
    EXPECT_EQ(run.calls[1], "MSP430_Error_String(4)");

    // A library that gives no text must not bring the program down.
    fake_fet.error_text_null = true;
    run = run_with_fake([] { report_library_error(2, "Erase All"); });
    EXPECT_EQ(run.out.text, "Erase All -\n");
    EXPECT_EQ(run.out.status, CAPTURE_RETURNED);
}

// ---------------------------------------------------------------------------------------------
// The device report

class DeviceReport : public ProgrammingPass {
protected:
    static std::string report_of(const DeviceRecord& record) {
        device_record = record;
        return run_with_fake([] { print_device_report(); }).out.text;
    }
};

TEST_F(DeviceReport, SmallDeviceWithBslAndNoLcdOrExtRam) {
    // RAM of 512 bytes truncates to 0K; Info of 256 bytes is given in bytes.
    EXPECT_EQ(report_of(make_device_record({})),
              "     Device: MSP430G2553 ID:2553\n"
              "      Flash: 16K \t(C000..FFFF)\n"
              "       Info: 256B \t(1000..10FF)\n"
              "        RAM: 0K \t(0200..03FF)\n"
              "        BSL: 1K \t(0C00..0FFF)\n"
              "    Ext RAM: None\n"
              "Breakpoints: 2\n"
              "  Emulation: 1\n"
              "CLK Control: 1\n"
              "        LCD: None\n"
              "        Vcc: 1.8V...3.6V\n"
              "   Test Vpp: 0\n\n");
}

TEST_F(DeviceReport, LargeDeviceWithoutBslWithLcdAndExtRam) {
    EXPECT_EQ(report_of(make_device_record({.name = "MSP430FG4619",
                                            .id = 46,
                                            .flash_start = 0x2100,
                                            .flash_end = 0x1FFFF,
                                            .info_start = 0x1000,
                                            .info_end = 0x10FF,
                                            .ram_start = 0x1100,
                                            .ram_end = 0x20FF,
                                            .bsl_start = 0x0C00,
                                            .bsl_end = 0x0C00,
                                            .lcd_start = 0x0091,
                                            .lcd_end = 0x00BD,
                                            .ext_ram_start = 0x8000,
                                            .ext_ram_end = 0x9FFF,
                                            .vcc_min = 1850,
                                            .vcc_max = 3650,
                                            .breakpoints = 8,
                                            .emulation = 3,
                                            .clk_control = 2,
                                            .test_vpp = 1})),
              "     Device: MSP430FG4619 ID:46\n"
              "      Flash: 119K \t(2100..1FFFF)\n"
              "       Info: 256B \t(1000..10FF)\n"
              "        RAM: 4K \t(1100..20FF)\n"
              "    Ext RAM: 8K \t(8000..9FFF)\n"
              "Breakpoints: 8\n"
              "  Emulation: 3\n"
              "CLK Control: 2\n"
              "        LCD: 0091..00BD\n"
              "        Vcc: 1.8V...3.6V\n"
              "   Test Vpp: 1\n\n");
}

TEST_F(DeviceReport, EdgesOfTheFields) {
    // LCD start 0 means no LCD whatever the end holds; a full 16-bit word stays unsigned; a
    // name that fills all 32 bytes is cut at 31.
    DeviceRecord record = make_device_record({.flash_start = 0x0000, .flash_end = 0xFFFFF, .lcd_end = 0x00BD});
    record.set_word(DEV_BREAKPOINTS, 0xFFFF);
    for (int i = 0; i < DEVICE_NAME_SIZE; ++i) record.bytes[DEV_NAME + i] = 'N';
    const std::string text = report_of(record);
    EXPECT_NE(text.find("     Device: " + std::string(31, 'N') + " ID:2553\n"), std::string::npos);
    EXPECT_NE(text.find("      Flash: 1024K \t(0000..FFFFF)\n"), std::string::npos);
    EXPECT_NE(text.find("Breakpoints: 65535\n"), std::string::npos);
    EXPECT_NE(text.find("        LCD: None\n"), std::string::npos);
}

TEST_F(DeviceReport, FollowsTheSupplyLineInAPass) {
    settings.flags |= FLAG_INFO;
    settings.reset_method = 0;
    const FakeRun run = pass();
    EXPECT_EQ(run.out.text, " Device Vcc: 3.2V\n" + report_of(make_device_record({})));
}

}  // namespace
