// A scripted FET library. Calls are logged as `MSP430_Erase(0,0x1040,64)`; a failing call
// poisons its out-parameters, so a program that reads them after a failure shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "fet/fet_library.h"
#include "support/capture.h"

// A small flash device like a G2553: flash C000..FFFF, info 1000..10FF, BSL, no LCD or ext RAM.
DeviceRecord make_device_record(const char* name = "MSP430G2553", int id = 2553);

struct FakeFet {
    DeviceRecord identify_record = make_device_record();
    std::vector<DeviceRecord> devices;  // MSP430_Device(id): [id - 1], [id] for the current generation
    std::vector<std::pair<std::string, bool>> usb_ifs{{"TIUSB", false}};  // name, in use
    fet_int dll_version = 30301, ext_millivolts = 3300, ext_state = EXT_VCC_GOOD;
    const char* error_text = "Fake error text";             // MSP430_Error_String's answer to error 17
    bool firmware_update_call = true;                       // false: the table has no MSP430_FET_FwUpdate
    std::vector<std::pair<std::uint32_t, std::uint32_t>> firmware_progress;  // message, w_param
    std::map<std::string, std::map<int, fet_int>> script;  // function -> nth call (0: every) -> result
    std::map<std::string, int> counts;
    void fail(const std::string& function, int nth = 1, fet_int result = 1) { script[function][nth] = result; }
};
extern FakeFet fake_fet;

FakeFet& fake_fet_reset();

struct FakeRun {
    Captured out;
    std::string calls;  // separated by blanks
};
FakeRun run_with_fake(const std::function<void()>& procedure);
