// The current generation as a real one may behave: garbage in the upper half of the return
// register (each function is declared as returning 64 bits), exactly 4 bytes written through
// every integer out-parameter. "OLDFW" reports version -1 until MSP430_FET_FwUpdate ran.
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/fet_interface.h"

namespace {

using Register = std::int64_t;

Register result(std::int32_t status) {
    return static_cast<Register>(0x5EADBEEFull << 32 | static_cast<std::uint32_t>(status));
}

void write_int32(void* to, std::int32_t value) { std::memcpy(to, &value, sizeof value); }

bool firmware_updated = false;
bool nothing_attached = false;  // the adapter "EMPTY" finds no device, yet reports success

void fill_record(std::uint8_t* to, std::int32_t size) {
    DeviceRecord record{};
    record.set_word(DEV_MARK, DEVICE_RECORD_MARK);
    std::strcpy(record.data() + DEV_NAME, "MSP430G2553");
    for (const auto& [field, value] : {std::pair{DEV_ID, 8}, {DEV_FLASH_START, 0xC000}, {DEV_INFO_START, 0x1000},
                                       {DEV_INFO_END, 0x10FF}, {DEV_RAM_START, 0x200}, {DEV_RAM_END, 0x3FF},
                                       {DEV_VCC_MIN, 1800}, {DEV_VCC_MAX, 3600}, {DEV_FLASH_END, 0xFFFF}})
        record.set_word(field, static_cast<std::uint32_t>(value));
    std::memcpy(to, record.bytes, static_cast<std::size_t>(size < DEVICE_RECORD_SIZE ? size : DEVICE_RECORD_SIZE));
}

}  // namespace

#if defined(_WIN32)
#define GARBAGE_EXPORT extern "C" __declspec(dllexport)
#else
#define GARBAGE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

GARBAGE_EXPORT Register FET_CALL MSP430_Initialize(const char* port, std::int32_t* version) {
    write_int32(version, std::strcmp(port, "OLDFW") == 0 && !firmware_updated ? -1 : 30301);
    nothing_attached = std::strcmp(port, "EMPTY") == 0;
    return result(0);
}
GARBAGE_EXPORT Register FET_CALL MSP430_GetFoundDevice(std::uint8_t* record, std::int32_t size) {
    fill_record(record, size);
    if (nothing_attached) std::memset(record, 0, static_cast<std::size_t>(size));
    return result(0);
}
GARBAGE_EXPORT Register FET_CALL MSP430_Device(std::int32_t index, std::uint8_t* record, std::int32_t size) {
    if (index != 0) return result(-1);
    fill_record(record, size);
    return result(0);
}
GARBAGE_EXPORT Register FET_CALL MSP430_FET_FwUpdate(const char*, FetFirmwareProgress progress, std::int32_t handle) {
    for (std::uint32_t percent = 0; progress && percent <= 100; percent += 25) progress(FIRMWARE_BLOCK_DONE, percent, 0, handle);
    if (progress) progress(FIRMWARE_DONE, 0, 0, handle);
    firmware_updated = true;
    return result(0);
}
GARBAGE_EXPORT Register FET_CALL MSP430_GetExtVoltage(std::int32_t* millivolts, std::int32_t* state) {
    write_int32(millivolts, 3300);
    write_int32(state, EXT_VCC_GOOD);
    return result(0);
}
GARBAGE_EXPORT Register FET_CALL MSP430_GetNumberOfUsbIfs(std::int32_t* count) {
    write_int32(count, 1);
    return result(0);
}
GARBAGE_EXPORT Register FET_CALL MSP430_GetNameOfUsbIf(std::int32_t, char** name, std::int32_t* in_use) {
    static char adapter[] = "ttyACM0";
    *name = adapter;
    write_int32(in_use, 0);
    return result(0);
}
#define SUCCEEDS(name, ...) \
    GARBAGE_EXPORT Register FET_CALL name(__VA_ARGS__) { return result(0); }
SUCCEEDS(MSP430_LoadDeviceDb, const char*)
SUCCEEDS(MSP430_OpenDevice, const char*, const char*, std::int32_t, std::int32_t, std::int32_t)
SUCCEEDS(MSP430_Configure, std::int32_t, std::int32_t)
SUCCEEDS(MSP430_VCC, std::int32_t)
SUCCEEDS(MSP430_Erase, std::int32_t, std::int32_t, std::int32_t)
SUCCEEDS(MSP430_EraseCheck, std::int32_t, std::int32_t)
SUCCEEDS(MSP430_ProgramFile, const char*, std::int32_t, std::int32_t)
SUCCEEDS(MSP430_VerifyFile, const char*)
SUCCEEDS(MSP430_ReadOutFile, std::int32_t, std::int32_t, const char*, std::int32_t)
SUCCEEDS(MSP430_Secure)
SUCCEEDS(MSP430_Reset, std::int32_t, std::int32_t, std::int32_t)
SUCCEEDS(MSP430_Close, std::int32_t)
SUCCEEDS(MSP430_Error_Number)
GARBAGE_EXPORT void FET_CALL MSP430_HIL_MEMAP() {}
GARBAGE_EXPORT const char* FET_CALL MSP430_Error_String(std::int32_t number) {
    return number == 4 ? "Could not find device (or device not supported)" : "No error";
}
