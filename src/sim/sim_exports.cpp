// The simulator under the vendor library's own C names, for building it a second time as a
// shared library (libmsp430.so, MSP430.dll). Loaded in place of the vendor's library it lets
// the loader and every caller be tried without an adapter.
//
// It exports the library's current generation, as the chip maker ships it today; built with
// KESTO_SIM_ORIGINAL_GENERATION defined it exports the original one (MSP430_Identify, device
// types from 1 up to "End_of_devices", no firmware update) instead.
#include <cstdint>

#include "base/fet_interface.h"
#include "platform/system_conventions.h"
#include "sim/current_generation.h"
#include "sim/sim_library.h"

#define SIM_EXPORT LIBRARY_EXPORT

namespace {

const FetLibrary& sim() { return *simulator_library(); }

}  // namespace

// Either build has the adapter with old firmware ("OLDFW"); only the current one can update it.
SIM_EXPORT fet_int FET_CALL MSP430_Initialize(const char* port, fet_int* version) {
    return current_initialize(port, version);
}

#if defined(KESTO_SIM_ORIGINAL_GENERATION)
SIM_EXPORT fet_int FET_CALL MSP430_Identify(char* record, fet_int size, fet_int set_id) {
    return sim().MSP430_Identify(record, size, set_id);
}
SIM_EXPORT fet_int FET_CALL MSP430_Device(fet_int id, char* record, fet_int size) { return sim().MSP430_Device(id, record, size); }
#else
SIM_EXPORT fet_int FET_CALL MSP430_LoadDeviceDb(const char* file) { return current_load_device_db(file); }
SIM_EXPORT fet_int FET_CALL MSP430_OpenDevice(const char* device, const char* password, fet_int password_length,
                                              fet_int device_code, fet_int set_id) {
    return current_open_device(device, password, password_length, device_code, set_id);
}
SIM_EXPORT fet_int FET_CALL MSP430_GetFoundDevice(std::uint8_t* record, fet_int size) {
    return current_get_found_device(record, size);
}
SIM_EXPORT fet_int FET_CALL MSP430_Device(fet_int index, std::uint8_t* record, fet_int size) {
    return current_device(index, record, size);
}
// The vendor declares the callback without a convention, so it is the C one even where the
// library's own functions are stdcall. Spelled out here rather than taken from the caller's
// header: a caller whose callback pops its own arguments does not build against it.
using LibraryProgress = void (*)(std::uint32_t message, std::uint32_t w_param, std::uint32_t l_param, fet_int handle);
SIM_EXPORT fet_int FET_CALL MSP430_FET_FwUpdate(const char* file, LibraryProgress progress, fet_int handle) {
    return current_fw_update(file, progress, handle);
}
#endif

#if defined(KESTO_SIM_ORIGINAL_GENERATION)
SIM_EXPORT fet_int FET_CALL MSP430_Configure(fet_int mode, fet_int value) { return sim().MSP430_Configure(mode, value); }
SIM_EXPORT fet_int FET_CALL MSP430_GetNumberOfUsbIfs(fet_int* count) { return sim().MSP430_GetNumberOfUsbIfs(count); }
SIM_EXPORT fet_int FET_CALL MSP430_Reset(fet_int method, fet_int execute, fet_int release_jtag) {
    return sim().MSP430_Reset(method, execute, release_jtag);
}
#else
SIM_EXPORT fet_int FET_CALL MSP430_Configure(fet_int mode, fet_int value) { return current_configure(mode, value); }
SIM_EXPORT fet_int FET_CALL MSP430_GetNumberOfUsbIfs(fet_int* count) { return current_get_number_of_usb_ifs(count); }
SIM_EXPORT fet_int FET_CALL MSP430_Reset(fet_int method, fet_int execute, fet_int release_jtag) {
    return current_reset(method, execute, release_jtag);
}
// Its presence tells this generation's 32-bit integers from the first releases' C long.
SIM_EXPORT void FET_CALL MSP430_HIL_MEMAP() {}
#endif
SIM_EXPORT fet_int FET_CALL MSP430_VCC(fet_int millivolts) { return sim().MSP430_VCC(millivolts); }
SIM_EXPORT fet_int FET_CALL MSP430_GetExtVoltage(fet_int* millivolts, fet_int* state) {
    return sim().MSP430_GetExtVoltage(millivolts, state);
}
SIM_EXPORT fet_int FET_CALL MSP430_Erase(fet_int type, fet_int address, fet_int length) {
    return sim().MSP430_Erase(type, address, length);
}
SIM_EXPORT fet_int FET_CALL MSP430_EraseCheck(fet_int address, fet_int length) { return sim().MSP430_EraseCheck(address, length); }
SIM_EXPORT fet_int FET_CALL MSP430_ProgramFile(const char* file, fet_int erase_type, fet_int verify) {
    return sim().MSP430_ProgramFile(file, erase_type, verify);
}
SIM_EXPORT fet_int FET_CALL MSP430_VerifyFile(const char* file) { return sim().MSP430_VerifyFile(file); }
SIM_EXPORT fet_int FET_CALL MSP430_ReadOutFile(fet_int address, fet_int length, const char* file, fet_int file_type) {
    return sim().MSP430_ReadOutFile(address, length, file, file_type);
}
SIM_EXPORT fet_int FET_CALL MSP430_Secure() { return sim().MSP430_Secure(); }
SIM_EXPORT fet_int FET_CALL MSP430_Close(fet_int vcc_off) { return sim().MSP430_Close(vcc_off); }
SIM_EXPORT fet_int FET_CALL MSP430_Error_Number() { return sim().MSP430_Error_Number(); }
SIM_EXPORT const char* FET_CALL MSP430_Error_String(fet_int number) { return sim().MSP430_Error_String(number); }
SIM_EXPORT fet_int FET_CALL MSP430_GetNameOfUsbIf(fet_int index, char** name, fet_int* in_use) {
    return sim().MSP430_GetNameOfUsbIf(index, name, in_use);
}
