// For the loader's reports of what is missing; only the names matter, it must call none.
// KESTO_PARTIAL_LONG: a current generation from before 3.5 (no MSP430_HIL_MEMAP), whose
// integers are C long.
#include <cstdint>

#define STUB(name) extern "C" std::int32_t name() { return 0; }
STUB(MSP430_Initialize) STUB(MSP430_Configure) STUB(MSP430_VCC) STUB(MSP430_GetExtVoltage)
STUB(MSP430_Device) STUB(MSP430_Erase) STUB(MSP430_EraseCheck) STUB(MSP430_ProgramFile) STUB(MSP430_VerifyFile)
STUB(MSP430_ReadOutFile) STUB(MSP430_Reset) STUB(MSP430_Close) STUB(MSP430_Error_Number) STUB(MSP430_Error_String)
STUB(MSP430_GetNumberOfUsbIfs) STUB(MSP430_GetNameOfUsbIf)
#if defined(KESTO_PARTIAL_UNIDENTIFIED)
STUB(MSP430_Secure) STUB(MSP430_GetFoundDevice)
#elif defined(KESTO_PARTIAL_LONG)
STUB(MSP430_Secure) STUB(MSP430_GetFoundDevice) STUB(MSP430_OpenDevice)
#else
STUB(MSP430_Identify)
#endif
