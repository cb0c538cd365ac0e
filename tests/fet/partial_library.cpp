// A stand-in vendor library with 17 of the 18 functions (MSP430_Secure is missing), for the
// loader's report of a missing function. Only the names matter to the loader.
#define STUB(name) extern "C" long name() { return 0; }
STUB(MSP430_Initialize) STUB(MSP430_Configure) STUB(MSP430_VCC) STUB(MSP430_GetExtVoltage) STUB(MSP430_Identify)
STUB(MSP430_Device) STUB(MSP430_Erase) STUB(MSP430_EraseCheck) STUB(MSP430_ProgramFile) STUB(MSP430_VerifyFile)
STUB(MSP430_ReadOutFile) STUB(MSP430_Reset) STUB(MSP430_Close) STUB(MSP430_Error_Number) STUB(MSP430_Error_String)
STUB(MSP430_GetNumberOfUsbIfs) STUB(MSP430_GetNameOfUsbIf)
