// A stand-in for the vendor library that lacks MSP430_Secure, so the loader's report of a
// missing function can be tested. The other 17 do nothing and succeed.
extern "C" {
long MSP430_Initialize(const char*, long*) { return 0; }
long MSP430_Configure(long, long) { return 0; }
long MSP430_VCC(long) { return 0; }
long MSP430_GetExtVoltage(long*, long*) { return 0; }
long MSP430_Identify(char*, long, long) { return 0; }
long MSP430_Device(long, char*, long) { return 0; }
long MSP430_Erase(long, long, long) { return 0; }
long MSP430_EraseCheck(long, long) { return 0; }
long MSP430_ProgramFile(const char*, long, long) { return 0; }
long MSP430_VerifyFile(const char*) { return 0; }
long MSP430_ReadOutFile(long, long, const char*, long) { return 0; }
long MSP430_Reset(long, long, long) { return 0; }
long MSP430_Close(long) { return 0; }
long MSP430_Error_Number() { return 0; }
const char* MSP430_Error_String(long) { return ""; }
long MSP430_GetNumberOfUsbIfs(long*) { return 0; }
long MSP430_GetNameOfUsbIf(long, char**, long*) { return 0; }
}
