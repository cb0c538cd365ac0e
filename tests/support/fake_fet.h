// A scripted FET library for tests: every call is logged with its arguments and returns what
// the test asked for, so a test checks both what the program printed and what it did to the
// adapter, in order.
//
// Use:
//
//     FakeFet& f = fake_fet_reset();       // fresh script, a working G2553-like device; installs it
//     f.identify_record = make_device_record({.name = "MSP430F5438", .flash_end = 0x45BFF});
//     f.fail("MSP430_Erase", 2);           // the 2nd MSP430_Erase returns 1
//     FakeRun run = run_with_fake([] { settings.anykey_mode = 0; programming_pass(); });
//     EXPECT_EQ(run.out.text, "...");      // standard output, byte for byte
//     EXPECT_EQ(run.out.status, 1);
//     EXPECT_EQ(run.calls, (std::vector<std::string>{"MSP430_Initialize(\"TIUSB\")", ...}));
//
// run_with_fake runs the procedure in a child process (capture_output) and brings the child's
// call log back, since the child's memory is lost when it ends. Code that returns (init_fet,
// the listings' result) may also be called in the test process and read `calls` directly.
//
// Call log format: the function's name, then its in-arguments in parentheses, separated by
// commas without blanks. Out-parameters and the record size are left out. Texts are quoted;
// addresses (of MSP430_Erase, MSP430_EraseCheck, MSP430_ReadOutFile) are in hex as 0x%X; all
// other integers in decimal:
//
//     MSP430_Initialize("TIUSB")          MSP430_Configure(8,1)          MSP430_VCC(3000)
//     MSP430_GetExtVoltage()              MSP430_Identify(80,0)          MSP430_Device(3,80)
//     MSP430_Erase(0,0x1040,64)           MSP430_EraseCheck(0xC000,16384)
//     MSP430_ProgramFile("a.hex",1,1)     MSP430_VerifyFile("a.hex")
//     MSP430_ReadOutFile(0xC000,16384,"out.hex",2)                       MSP430_Secure()
//     MSP430_Reset(7,1,0)                 MSP430_Close(0)                MSP430_Error_Number()
//     MSP430_Error_String(17)             MSP430_GetNumberOfUsbIfs()     MSP430_GetNameOfUsbIf(1)
//
// A failing call leaves its out-parameters poisoned (record bytes 0xEE, numbers -999999), so a
// program that reads them after a failure shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fet/fet_library.h"
#include "support/capture.h"

// The fields of a device record, with the values of a small flash device as defaults.
// Designated initialisers name only what a test cares about (keep the declaration order).
struct DeviceSpec {
    std::string name = "MSP430G2553";
    std::uint16_t id = 2553;
    std::uint16_t flash_start = 0xC000;
    std::uint32_t flash_end = 0xFFFF;
    std::uint16_t info_start = 0x1000;
    std::uint16_t info_end = 0x10FF;
    std::uint16_t ram_start = 0x0200;
    std::uint16_t ram_end = 0x03FF;
    std::uint16_t bsl_start = 0x0C00;
    std::uint16_t bsl_end = 0x0FFF;
    std::uint16_t lcd_start = 0;
    std::uint16_t lcd_end = 0;
    std::uint16_t ext_ram_start = 0;
    std::uint16_t ext_ram_end = 0;
    std::uint16_t vcc_min = 1800;
    std::uint16_t vcc_max = 3600;
    std::uint16_t breakpoints = 2;
    std::uint16_t emulation = 1;
    std::uint16_t clk_control = 1;
    std::uint16_t test_vpp = 0;
};

DeviceRecord make_device_record(const DeviceSpec& spec);

struct UsbInterface {
    std::string name;
    bool in_use = false;
};

struct FakeFet {
    // What the library reports.
    DeviceRecord identify_record{};       // MSP430_Identify fills this
    std::vector<DeviceRecord> devices;    // MSP430_Device(id) fills devices[id - 1]; past the end: 1
    fet_int dll_version = 30301;          // MSP430_Initialize's out-parameter
    fet_int ext_millivolts = 3300;        // MSP430_GetExtVoltage
    fet_int ext_state = EXT_VCC_GOOD;
    fet_int error_number = 17;            // MSP430_Error_Number
    std::string error_text = "Fake error text";  // MSP430_Error_String, whatever the number
    bool error_text_null = false;         // MSP430_Error_String returns a null pointer instead
    std::vector<UsbInterface> usb_ifs;    // count and names; an index past the end fails

    // The call log of this process (see the format above).
    std::vector<std::string> calls;

    // Makes the nth call (counted from 1) of a function return `result`; nth 0 makes every
    // call return it. A later script for the same call replaces an earlier one. An unknown
    // function name fails the test at once.
    void fail(const std::string& function, int nth = 1, fet_int result = 1);

    // The calls of one function only, in order.
    std::vector<std::string> calls_of(const std::string& function) const;

    // Internal: what the next call of `function` returns, counting it.
    fet_int next_result(const std::string& function);
    void log(const std::string& call);

    std::map<std::string, std::map<int, fet_int>> script;
    std::map<std::string, int> call_counts;
    int log_fd = -1;  // when set, every log line is also written there, one a line
};

// The one fake (its functions are plain pointers and reach it here).
extern FakeFet fake_fet;
extern const FetLibrary fake_fet_table;

// Resets the fake to a working device (identify_record from the DeviceSpec defaults, three
// supported devices, one free USB interface "TIUSB"), clears the log and the script, and
// installs it: fet = &fake_fet_table. Also puts settings and device_record back to their
// defaults, so every test starts from a fresh run.
FakeFet& fake_fet_reset();

struct FakeRun {
    Captured out;
    std::vector<std::string> calls;  // the child's call log
};

// Runs the procedure in a child process with the fake as it is now; returns the child's
// output, status and call log.
FakeRun run_with_fake(const std::function<void()>& procedure, int deadline_ms = 10000);
