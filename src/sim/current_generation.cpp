#include "sim/current_generation.h"

#include <algorithm>
#include <cstring>

#include "base/ascii_text.h"
#include "base/error_text.h"
#include "chip/parts.h"
#include "chip/sim_errors.h"
#include "sim/sim_library.h"

namespace {

constexpr const char* OLD_FIRMWARE_ADAPTER = "OLDFW";
constexpr fet_int FIRMWARE_CONFLICT = -1;
constexpr std::uint32_t UPDATE_PERCENT_STEP = 5;

struct CurrentGeneration {
    bool database_loaded = false;
    bool old_firmware = false;  // the adapter opened last is OLDFW
    bool firmware_updated = false;
    bool found = false;
    bool instance = false;  // made by the first look for adapters or the first opening
    unsigned char found_record[CURRENT_DEVICE_RECORD_SIZE] = {};
};
CurrentGeneration state;

const FetLibrary& sim() { return *simulator_library(); }

// The record as this generation hands it out: the original layout in its first bytes, with the
// device number as this generation counts, from 0.
void fill_current_record(const Part& part, unsigned char* record) {
    std::memset(record, 0, CURRENT_DEVICE_RECORD_SIZE);
    fill_device_record(part, record);
    DeviceRecord numbered{};
    std::memcpy(numbered.bytes, record, DEVICE_RECORD_SIZE);
    numbered.set_word(DEV_ID, static_cast<std::uint32_t>(part_id(part) - 1));
    std::memcpy(record, numbered.bytes, DEVICE_RECORD_SIZE);
}

fet_int copy_record(const unsigned char* from, std::uint8_t* to, fet_int size) {
    if (!to || size <= 0)
        return simulator_fail(SIM_BAD_ARGUMENT, error_text("The device record needs a buffer, not %d bytes", size));
    std::memcpy(to, from, static_cast<std::size_t>(std::min(size, fet_int{CURRENT_DEVICE_RECORD_SIZE})));
    return 0;
}

}  // namespace

fet_int FET_CALL current_initialize(const char* port, fet_int* version) {
    state.instance = true;
    const fet_int status = sim().MSP430_Initialize(port, version);
    if (status != 0) return status;
    state.found = false;
    state.old_firmware = ascii_equal(port, OLD_FIRMWARE_ADAPTER);
    if (state.old_firmware && !state.firmware_updated) *version = FIRMWARE_CONFLICT;
    return 0;
}

fet_int FET_CALL current_load_device_db(const char* file) {
    if (file)
        return simulator_fail(SIM_FILE_UNREADABLE,
                              error_text("The simulator's parts are built in: MSP430_LoadDeviceDb takes NULL, not %s",
                                         file));
    state.database_loaded = true;
    return 0;
}

fet_int FET_CALL current_open_device(const char* device, const char* password, fet_int password_length,
                                     fet_int /*device_code*/, fet_int set_id) {
    if (!state.database_loaded) return simulator_fail(SIM_DATABASE_NOT_LOADED, "Device database not loaded");
    if (!device || !password || password_length != 0)
        return simulator_fail(SIM_BAD_ARGUMENT, "MSP430_OpenDevice needs a device name and an empty password");
    DeviceRecord identified{};
    if (const fet_int status = sim().MSP430_Identify(identified.data(), DEVICE_RECORD_SIZE, set_id)) return status;
    const Part* part = find_part(identified.name().c_str());
    if (!part || (!ascii_equal(device, "DEVICE_UNKNOWN") && find_part(device) != part))
        return simulator_fail(SIM_OTHER_DEVICE,
                              error_text("The attached part is %s, not %s", identified.name().c_str(), device));
    fill_current_record(*part, state.found_record);
    state.found = true;
    return 0;
}

fet_int FET_CALL current_get_found_device(std::uint8_t* record, fet_int size) {
    if (!state.found) return simulator_fail(SIM_NOT_OPEN, "No device was found: MSP430_OpenDevice comes first");
    return copy_record(state.found_record, record, size);
}

fet_int FET_CALL current_get_number_of_usb_ifs(fet_int* count) {
    state.instance = true;
    return sim().MSP430_GetNumberOfUsbIfs(count);
}

fet_int FET_CALL current_reset(fet_int method, fet_int execute, fet_int release_jtag) {
    if (!state.found)
        return simulator_fail(SIM_NO_DEVICE, "Could not find device (or device not supported): MSP430_OpenDevice "
                                             "comes before a reset");
    return sim().MSP430_Reset(method, execute, release_jtag);
}

fet_int FET_CALL current_configure(fet_int mode, fet_int value) {
    if (mode == CONFIGURE_VERIFICATION)
        return simulator_fail(SIM_BAD_ARGUMENT, "Invalid parameter(s): this generation verifies through "
                                                "MSP430_ProgramFile's argument, not through a Configure mode");
    return sim().MSP430_Configure(mode, value);
}

fet_int FET_CALL current_device(fet_int index, std::uint8_t* record, fet_int size) {
    if (!state.instance)
        return simulator_fail(SIM_NOT_OPEN, "MSP DebugStack not initialized: MSP430_GetNumberOfUsbIfs or "
                                            "MSP430_Initialize comes first");
    const auto parts = all_parts();
    const auto count = static_cast<fet_int>(parts.size());
    if (index < 0 || index >= count)
        return simulator_fail(SIM_BAD_ARGUMENT,
                              error_text("No device with number %d; the simulator knows 0 to %d", index, count - 1));
    unsigned char full[CURRENT_DEVICE_RECORD_SIZE];
    fill_current_record(parts[static_cast<std::size_t>(index)], full);
    return copy_record(full, record, size);
}

fet_int FET_CALL current_fw_update(const char* file, FetFirmwareProgress progress, fet_int handle) {
    if (file)
        return simulator_fail(SIM_FILE_UNREADABLE,
                              error_text("The simulated adapter takes the firmware built into the library (NULL), "
                                         "not %s", file));
    const auto report = [&](std::uint32_t message, std::uint32_t percent = 0) {
        if (progress) progress(message, percent, 0, handle);
    };
    report(FIRMWARE_INIT);
    report(FIRMWARE_ERASING_VECTORS);
    report(FIRMWARE_ERASING);
    for (std::uint32_t percent = 0; percent <= 100; percent += UPDATE_PERCENT_STEP) {
        report(FIRMWARE_PROGRAMMING);
        report(FIRMWARE_BLOCK_DONE, percent);
    }
    report(FIRMWARE_EXITING);
    report(FIRMWARE_DONE);
    state.firmware_updated = true;
    return 0;
}

void reset_current_generation() { state = CurrentGeneration{}; }
