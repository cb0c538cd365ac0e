#include "support/fake_fet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "driver/run_settings.h"

FakeFet fake_fet;

namespace {

constexpr fet_int POISON = -999999;

const char* const FUNCTION_NAMES[] = {
    "MSP430_Initialize",  "MSP430_Configure",   "MSP430_VCC",         "MSP430_GetExtVoltage",
    "MSP430_Identify",    "MSP430_Device",      "MSP430_Erase",       "MSP430_EraseCheck",
    "MSP430_ProgramFile", "MSP430_VerifyFile",  "MSP430_ReadOutFile", "MSP430_Secure",
    "MSP430_Reset",       "MSP430_Close",       "MSP430_Error_Number", "MSP430_Error_String",
    "MSP430_GetNumberOfUsbIfs", "MSP430_GetNameOfUsbIf",
};

std::string quoted(const char* text) { return text ? "\"" + std::string(text) + "\"" : "null"; }

std::string hex(fet_int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%lX", static_cast<unsigned long>(value));
    return buffer;
}

template <typename... Parts>
std::string call_text(const char* function, const Parts&... parts) {
    std::ostringstream out;
    out << function << '(';
    [[maybe_unused]] const char* separator = "";
    ((out << separator << parts, separator = ","), ...);
    out << ')';
    return out.str();
}

// Logs the call and returns its scripted result.
template <typename... Parts>
fet_int called(const char* function, const Parts&... parts) {
    fake_fet.log(call_text(function, parts...));
    return fake_fet.next_result(function);
}

void fill_record(char* record, const DeviceRecord& from) { std::memcpy(record, from.bytes, DEVICE_RECORD_SIZE); }
void poison_record(char* record) { std::memset(record, 0xEE, DEVICE_RECORD_SIZE); }

fet_int fake_initialize(const char* port, fet_int* version) {
    const fet_int result = called("MSP430_Initialize", quoted(port));
    *version = result == 0 ? fake_fet.dll_version : POISON;
    return result;
}

fet_int fake_configure(fet_int mode, fet_int value) { return called("MSP430_Configure", mode, value); }
fet_int fake_vcc(fet_int millivolts) { return called("MSP430_VCC", millivolts); }

fet_int fake_get_ext_voltage(fet_int* millivolts, fet_int* state) {
    const fet_int result = called("MSP430_GetExtVoltage");
    *millivolts = result == 0 ? fake_fet.ext_millivolts : POISON;
    *state = result == 0 ? fake_fet.ext_state : POISON;
    return result;
}

fet_int fake_identify(char* record, fet_int size, fet_int set_id) {
    const fet_int result = called("MSP430_Identify", size, set_id);
    if (result == 0) {
        fill_record(record, fake_fet.identify_record);
    } else {
        poison_record(record);
    }
    return result;
}

fet_int fake_device(fet_int id, char* record, fet_int size) {
    fet_int result = called("MSP430_Device", id, size);
    const bool known = id >= 1 && static_cast<std::size_t>(id) <= fake_fet.devices.size();
    if (result == 0 && !known) result = 1;
    if (result == 0) {
        fill_record(record, fake_fet.devices[static_cast<std::size_t>(id) - 1]);
    } else {
        poison_record(record);
    }
    return result;
}

fet_int fake_erase(fet_int type, fet_int address, fet_int length) {
    return called("MSP430_Erase", type, hex(address), length);
}

fet_int fake_erase_check(fet_int address, fet_int length) {
    return called("MSP430_EraseCheck", hex(address), length);
}

fet_int fake_program_file(const char* file, fet_int erase_type, fet_int verify) {
    return called("MSP430_ProgramFile", quoted(file), erase_type, verify);
}

fet_int fake_verify_file(const char* file) { return called("MSP430_VerifyFile", quoted(file)); }

fet_int fake_read_out_file(fet_int address, fet_int length, const char* file, fet_int file_type) {
    return called("MSP430_ReadOutFile", hex(address), length, quoted(file), file_type);
}

fet_int fake_secure() { return called("MSP430_Secure"); }

fet_int fake_reset(fet_int method, fet_int execute, fet_int release_jtag) {
    return called("MSP430_Reset", method, execute, release_jtag);
}

fet_int fake_close(fet_int vcc_off) { return called("MSP430_Close", vcc_off); }

fet_int fake_error_number() {
    fake_fet.log("MSP430_Error_Number()");
    fake_fet.next_result("MSP430_Error_Number");
    return fake_fet.error_number;
}

const char* fake_error_string(fet_int number) {
    fake_fet.log(call_text("MSP430_Error_String", number));
    fake_fet.next_result("MSP430_Error_String");
    return fake_fet.error_text_null ? nullptr : fake_fet.error_text.c_str();
}

fet_int fake_get_number_of_usb_ifs(fet_int* count) {
    const fet_int result = called("MSP430_GetNumberOfUsbIfs");
    *count = result == 0 ? static_cast<fet_int>(fake_fet.usb_ifs.size()) : POISON;
    return result;
}

fet_int fake_get_name_of_usb_if(fet_int index, char** name, fet_int* in_use) {
    fet_int result = called("MSP430_GetNameOfUsbIf", index);
    const bool known = index >= 0 && static_cast<std::size_t>(index) < fake_fet.usb_ifs.size();
    if (result == 0 && !known) result = 1;
    if (result == 0) {
        UsbInterface& usb_if = fake_fet.usb_ifs[static_cast<std::size_t>(index)];
        *name = usb_if.name.data();
        *in_use = usb_if.in_use ? 1 : 0;
    } else {
        *name = nullptr;
        *in_use = POISON;
    }
    return result;
}

}  // namespace

const FetLibrary fake_fet_table = {
    fake_initialize,    fake_configure,     fake_vcc,           fake_get_ext_voltage,
    fake_identify,      fake_device,        fake_erase,         fake_erase_check,
    fake_program_file,  fake_verify_file,   fake_read_out_file, fake_secure,
    fake_reset,         fake_close,         fake_error_number,  fake_error_string,
    fake_get_number_of_usb_ifs, fake_get_name_of_usb_if,
};

DeviceRecord make_device_record(const DeviceSpec& spec) {
    DeviceRecord record{};
    record.set_word(DEV_ID, spec.id);
    std::snprintf(reinterpret_cast<char*>(record.bytes + DEV_NAME), DEVICE_NAME_SIZE, "%s", spec.name.c_str());
    record.set_word(DEV_FLASH_START, spec.flash_start);
    record.set_dword(DEV_FLASH_END, spec.flash_end);
    record.set_word(DEV_INFO_START, spec.info_start);
    record.set_word(DEV_INFO_END, spec.info_end);
    record.set_word(DEV_RAM_START, spec.ram_start);
    record.set_word(DEV_RAM_END, spec.ram_end);
    record.set_word(DEV_BSL_START, spec.bsl_start);
    record.set_word(DEV_BSL_END, spec.bsl_end);
    record.set_word(DEV_LCD_START, spec.lcd_start);
    record.set_word(DEV_LCD_END, spec.lcd_end);
    record.set_word(DEV_EXT_RAM_START, spec.ext_ram_start);
    record.set_word(DEV_EXT_RAM_END, spec.ext_ram_end);
    record.set_word(DEV_VCC_MIN, spec.vcc_min);
    record.set_word(DEV_VCC_MAX, spec.vcc_max);
    record.set_word(DEV_BREAKPOINTS, spec.breakpoints);
    record.set_word(DEV_EMULATION, spec.emulation);
    record.set_word(DEV_CLK_CONTROL, spec.clk_control);
    record.set_word(DEV_TEST_VPP, spec.test_vpp);
    return record;
}

void FakeFet::fail(const std::string& function, int nth, fet_int result) {
    bool known = false;
    for (const char* name : FUNCTION_NAMES) known = known || function == name;
    ASSERT_TRUE(known) << "no library function is called " << function;
    script[function][nth] = result;
}

std::vector<std::string> FakeFet::calls_of(const std::string& function) const {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
        if (call.compare(0, function.size() + 1, function + "(") == 0) found.push_back(call);
    }
    return found;
}

fet_int FakeFet::next_result(const std::string& function) {
    const int nth = ++call_counts[function];
    const auto scripted = script.find(function);
    if (scripted == script.end()) return 0;
    if (const auto one = scripted->second.find(nth); one != scripted->second.end()) return one->second;
    if (const auto every = scripted->second.find(0); every != scripted->second.end()) return every->second;
    return 0;
}

void FakeFet::log(const std::string& call) {
    calls.push_back(call);
    if (log_fd >= 0) {
        const std::string line = call + "\n";
        // The log file is shared with the parent; one write a line keeps lines whole.
        if (write(log_fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            std::abort();
        }
    }
}

FakeFet& fake_fet_reset() {
    fake_fet = FakeFet{};
    fake_fet.identify_record = make_device_record({});
    fake_fet.devices = {make_device_record({.name = "MSP430F1121", .id = 1}),
                        make_device_record({.name = "MSP430F149", .id = 2}),
                        make_device_record({.name = "MSP430G2553", .id = 3})};
    fake_fet.usb_ifs = {{"TIUSB", false}};
    fet = &fake_fet_table;
    settings = RunSettings{};
    device_record = DeviceRecord{};
    return fake_fet;
}

FakeRun run_with_fake(const std::function<void()>& procedure, int deadline_ms) {
    FakeRun run;
    std::FILE* log_file = std::tmpfile();
    if (!log_file) {
        ADD_FAILURE() << "no temporary file for the call log";
        return run;
    }
    const int saved_fd = fake_fet.log_fd;
    fake_fet.log_fd = fileno(log_file);
    run.out = capture_output(procedure, deadline_ms);
    fake_fet.log_fd = saved_fd;

    // The child wrote through the same open file, so the offset has moved; read from the start.
    std::string text;
    char chunk[4096];
    lseek(fileno(log_file), 0, SEEK_SET);
    for (ssize_t n; (n = read(fileno(log_file), chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<size_t>(n));
    std::fclose(log_file);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) run.calls.push_back(line);
    return run;
}
