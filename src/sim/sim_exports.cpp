// The simulator under the vendor library's own C names, for building it a second time as a
// shared library (libmsp430.so). Loaded in place of the vendor's library it lets the loader and
// every caller be tried without an adapter.
#include "base/fet_interface.h"
#include "platform/system_conventions.h"
#include "sim/sim_library.h"

#define SIM_EXPORT LIBRARY_EXPORT

namespace {

const FetLibrary& sim() { return *simulator_library(); }

}  // namespace

SIM_EXPORT fet_int FET_CALL MSP430_Initialize(const char* port, fet_int* version) {
    return sim().MSP430_Initialize(port, version);
}
SIM_EXPORT fet_int FET_CALL MSP430_Configure(fet_int mode, fet_int value) { return sim().MSP430_Configure(mode, value); }
SIM_EXPORT fet_int FET_CALL MSP430_VCC(fet_int millivolts) { return sim().MSP430_VCC(millivolts); }
SIM_EXPORT fet_int FET_CALL MSP430_GetExtVoltage(fet_int* millivolts, fet_int* state) {
    return sim().MSP430_GetExtVoltage(millivolts, state);
}
SIM_EXPORT fet_int FET_CALL MSP430_Identify(char* record, fet_int size, fet_int set_id) {
    return sim().MSP430_Identify(record, size, set_id);
}
SIM_EXPORT fet_int FET_CALL MSP430_Device(fet_int id, char* record, fet_int size) { return sim().MSP430_Device(id, record, size); }
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
SIM_EXPORT fet_int FET_CALL MSP430_Reset(fet_int method, fet_int execute, fet_int release_jtag) {
    return sim().MSP430_Reset(method, execute, release_jtag);
}
SIM_EXPORT fet_int FET_CALL MSP430_Close(fet_int vcc_off) { return sim().MSP430_Close(vcc_off); }
SIM_EXPORT fet_int FET_CALL MSP430_Error_Number() { return sim().MSP430_Error_Number(); }
SIM_EXPORT const char* FET_CALL MSP430_Error_String(fet_int number) { return sim().MSP430_Error_String(number); }
SIM_EXPORT fet_int FET_CALL MSP430_GetNumberOfUsbIfs(fet_int* count) { return sim().MSP430_GetNumberOfUsbIfs(count); }
SIM_EXPORT fet_int FET_CALL MSP430_GetNameOfUsbIf(fet_int index, char** name, fet_int* in_use) {
    return sim().MSP430_GetNameOfUsbIf(index, name, in_use);
}
