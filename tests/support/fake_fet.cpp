#include "support/fake_fet.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "base/run_settings.h"

FakeFet fake_fet;
namespace {

constexpr fet_int POISON = -999999;
std::string quoted(const char* text) { return '"' + std::string(text) + '"'; }

std::string hex(fet_int value) {
    char text[24];
    return std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value)), text;
}

// Into the output between \x01 and \x02, in order with what the program prints.
template <typename... Args>
fet_int called(const char* function, const Args&... args) {
    std::ostringstream call;
    [[maybe_unused]] const char* separator = "";
    call << '\x01' << function << '(';
    ((call << separator << args, separator = ","), ...);
    std::fputs((call.str() + ")\x02").c_str(), stdout);
    auto& script = fake_fet.script[function];
    const int nth = ++fake_fet.counts[function];
    return script.count(nth) ? script[nth] : script.count(0) ? script[0] : 0;
}

fet_int fill(fet_int result, char* record, const DeviceRecord* from) {
    if (result == 0 && from) return std::memcpy(record, from->bytes, DEVICE_RECORD_SIZE), 0;
    std::memset(record, 0xEE, DEVICE_RECORD_SIZE);
    return result ? result : 1;
}

// FET_CALL makes each lambda convert to the table's pointer type where the library's calls are
// stdcall (32-bit Windows).
const FetLibrary fake_table = {
    [](const char* port, fet_int* version) FET_CALL {
        const fet_int result = called("MSP430_Initialize", quoted(port));
        return *version = result ? POISON : fake_fet.dll_version, result;
    },
    [](fet_int mode, fet_int value) FET_CALL { return called("MSP430_Configure", mode, value); },
    [](fet_int millivolts) FET_CALL { return called("MSP430_VCC", millivolts); },
    [](fet_int* millivolts, fet_int* state) FET_CALL {
        const fet_int result = called("MSP430_GetExtVoltage");
        *millivolts = result ? POISON : fake_fet.ext_millivolts;
        return *state = result ? POISON : fake_fet.ext_state, result;
    },
    [](char* record, fet_int size, fet_int id) FET_CALL {
        return fill(called("MSP430_Identify", size, id), record, &fake_fet.identify_record);
    },
    [](fet_int id, char* record, fet_int size) FET_CALL {
        const fet_int index = fet_generation == FetGeneration::current ? id : id - 1;
        const bool known = index >= 0 && index < static_cast<fet_int>(fake_fet.devices.size());
        return fill(called("MSP430_Device", id, size), record, known ? &fake_fet.devices[index] : nullptr);
    },
    [](fet_int type, fet_int address, fet_int length) FET_CALL { return called("MSP430_Erase", type, hex(address), length); },
    [](fet_int address, fet_int length) FET_CALL { return called("MSP430_EraseCheck", hex(address), length); },
    [](const char* file, fet_int erase, fet_int verify) FET_CALL {
        return called("MSP430_ProgramFile", quoted(file), erase, verify);
    },
    [](const char* file) FET_CALL { return called("MSP430_VerifyFile", quoted(file)); },
    [](fet_int address, fet_int length, const char* file, fet_int type) FET_CALL {
        return called("MSP430_ReadOutFile", hex(address), length, quoted(file), type);
    },
    []() FET_CALL { return called("MSP430_Secure"); },
    [](fet_int method, fet_int execute, fet_int release) FET_CALL { return called("MSP430_Reset", method, execute, release); },
    [](fet_int vcc_off) FET_CALL { return called("MSP430_Close", vcc_off); },
    []() FET_CALL { return called("MSP430_Error_Number"), fet_int{17}; },
    [](fet_int number) FET_CALL { return called("MSP430_Error_String", number), fake_fet.error_text; },
    [](fet_int* count) FET_CALL {
        const fet_int result = called("MSP430_GetNumberOfUsbIfs");
        return *count = result ? POISON : static_cast<fet_int>(fake_fet.usb_ifs.size()), result;
    },
    [](fet_int index, char** name, fet_int* in_use) FET_CALL {
        fet_int result = called("MSP430_GetNameOfUsbIf", index);
        if (result == 0 && (index < 0 || index >= static_cast<fet_int>(fake_fet.usb_ifs.size()))) result = 1;
        *name = result ? nullptr : fake_fet.usb_ifs[index].first.data();
        return *in_use = result ? POISON : fake_fet.usb_ifs[index].second, result;
    },
    [](const char* file, FetFirmwareProgress progress, fet_int handle) FET_CALL {
        const fet_int result = called("MSP430_FET_FwUpdate", file ? quoted(file) : "NULL", handle);
        for (const auto& [message, percent] : fake_fet.firmware_progress) progress(message, percent, 0, handle);
        return result;
    },
};

const FetLibrary fake_table_no_update = [] {
    FetLibrary table = fake_table;
    return table.MSP430_FET_FwUpdate = nullptr, table;
}();

}  // namespace

DeviceRecord make_device_record(const char* name, int id) {
    DeviceRecord record{};
    std::snprintf(record.data() + DEV_NAME, DEVICE_NAME_SIZE, "%s", name);
    for (const auto& [offset, value] : {std::pair{DEV_ID, id}, {DEV_FLASH_START, 0xC000}, {DEV_INFO_START, 0x1000},
                                        {DEV_INFO_END, 0x10FF}, {DEV_RAM_START, 0x200}, {DEV_RAM_END, 0x3FF},
                                        {DEV_BSL_START, 0xC00}, {DEV_BSL_END, 0xFFF}, {DEV_VCC_MIN, 1800},
                                        {DEV_VCC_MAX, 3600}, {DEV_BREAKPOINTS, 2}, {DEV_EMULATION, 1},
                                        {DEV_CLK_CONTROL, 1}, {DEV_FLASH_END, 0xFFFF}})
        record.set_word(offset, static_cast<std::uint32_t>(value));
    return record;
}

FakeFet& fake_fet_reset() {
    fake_fet = FakeFet{};
    fet = &fake_table;
    fet_generation = FetGeneration::builtin;
    settings = RunSettings{};
    device_record = DeviceRecord{};
    return fake_fet;
}

FakeRun run_with_fake(const std::function<void()>& procedure) {
    fake_fet.counts.clear();  // a script's nth call counts from the start of each run
    if (fet == &fake_table || fet == &fake_table_no_update)
        fet = fake_fet.firmware_update_call ? &fake_table : &fake_table_no_update;
    FakeRun run{capture_output(procedure), {}};
    std::string& text = run.out.text;
    for (std::size_t start; (start = text.find('\x01')) != std::string::npos;) {
        const std::size_t end = text.find('\x02', start);
        // Appended in place: GCC 12 at -O3 mistakes a temporary string's insert for an overlap.
        if (!run.calls.empty()) run.calls += ' ';
        run.calls.append(text, start + 1, end - start - 1);
        text.erase(start, end - start + 1);
    }
    return run;
}
