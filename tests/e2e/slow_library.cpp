// A stand-in for the vendor library whose programming ends only once the file that
// SLOW_LIBRARY_RELEASE names is there, and says on standard output when it has begun.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using fet_int = std::int32_t;

extern "C" {
fet_int MSP430_Initialize(const char*, fet_int* version) { return *version = 1, 0; }
fet_int MSP430_Configure(fet_int, fet_int) { return 0; }
fet_int MSP430_VCC(fet_int) { return 0; }
fet_int MSP430_GetExtVoltage(fet_int*, fet_int*) { return 0; }
fet_int MSP430_Identify(char* record, fet_int size, fet_int) {
    std::memset(record, 0, static_cast<std::size_t>(size));
    std::strcpy(record + 4, "MSP430SLOW");
    // Flash and information memory as on a G2553, so that an image fits.
    const auto word = [record](int offset, unsigned value) {
        record[offset] = static_cast<char>(value), record[offset + 1] = static_cast<char>(value >> 8);
    };
    word(36, 0xC000), word(66, 0xFFFF), word(38, 0x1000), word(64, 0x10FF);
    return 0;
}
fet_int MSP430_Device(fet_int, char*, fet_int) { return 0; }
fet_int MSP430_Erase(fet_int, fet_int, fet_int) { return 0; }
fet_int MSP430_EraseCheck(fet_int, fet_int) { return 0; }
fet_int MSP430_ProgramFile(const char*, fet_int, fet_int) {
    if (write(STDOUT_FILENO, "<programming>", 13) < 0) return -1;
    // Waits for the test; after a minute a forgotten test fails instead of hanging.
    const char* release = std::getenv("SLOW_LIBRARY_RELEASE");
    for (int tenths = 0; tenths < 600; ++tenths, usleep(100000))
        if (release && access(release, F_OK) == 0) return 0;
    return -1;
}
fet_int MSP430_VerifyFile(const char*) { return 0; }
fet_int MSP430_ReadOutFile(fet_int, fet_int, const char*, fet_int) { return 0; }
fet_int MSP430_Secure() { return 0; }
fet_int MSP430_Reset(fet_int, fet_int, fet_int) { return 0; }
fet_int MSP430_Close(fet_int) { return 0; }
fet_int MSP430_Error_Number() { return 1; }
const char* MSP430_Error_String(fet_int) { return "the slow library gave up waiting"; }
fet_int MSP430_GetNumberOfUsbIfs(fet_int*) { return 0; }
fet_int MSP430_GetNameOfUsbIf(fet_int, char**, fet_int*) { return 0; }
}
