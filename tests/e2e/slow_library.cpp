// A stand-in for the vendor library whose programming takes as long as a test wants: it never
// ends by itself, so that a test can send a signal during a programming pass, or (with
// SLOW_LIBRARY_RELEASE naming a file) succeeds once that file is there. It says on standard
// output when the programming has begun; everything else succeeds at once. Its integers are
// 32 bits, as the vendor's are.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
std::int32_t MSP430_Initialize(const char*, std::int32_t* version) { return *version = 1, 0; }
std::int32_t MSP430_Configure(std::int32_t, std::int32_t) { return 0; }
std::int32_t MSP430_VCC(std::int32_t) { return 0; }
std::int32_t MSP430_GetExtVoltage(std::int32_t*, std::int32_t*) { return 0; }
std::int32_t MSP430_Identify(char* record, std::int32_t size, std::int32_t) {
    std::memset(record, 0, static_cast<std::size_t>(size));
    std::strcpy(record + 4, "MSP430SLOW");
    // Flash C000..FFFF and information memory 1000..10FF, as on a G2553, so that an image fits.
    const auto word = [record](int offset, unsigned value) {
        record[offset] = static_cast<char>(value), record[offset + 1] = static_cast<char>(value >> 8);
    };
    word(36, 0xC000), word(66, 0xFFFF), word(38, 0x1000), word(64, 0x10FF);
    return 0;
}
std::int32_t MSP430_Device(std::int32_t, char*, std::int32_t) { return 0; }
std::int32_t MSP430_Erase(std::int32_t, std::int32_t, std::int32_t) { return 0; }
std::int32_t MSP430_EraseCheck(std::int32_t, std::int32_t) { return 0; }
std::int32_t MSP430_ProgramFile(const char*, std::int32_t, std::int32_t) {
    if (write(STDOUT_FILENO, "<programming>", 13) < 0) return -1;
    // Waits for the test; after a minute a forgotten test fails instead of hanging.
    const char* release = std::getenv("SLOW_LIBRARY_RELEASE");
    for (int tenths = 0; tenths < 600; ++tenths, usleep(100000))
        if (release && access(release, F_OK) == 0) return 0;
    return -1;
}
std::int32_t MSP430_VerifyFile(const char*) { return 0; }
std::int32_t MSP430_ReadOutFile(std::int32_t, std::int32_t, const char*, std::int32_t) { return 0; }
std::int32_t MSP430_Secure() { return 0; }
std::int32_t MSP430_Reset(std::int32_t, std::int32_t, std::int32_t) { return 0; }
std::int32_t MSP430_Close(std::int32_t) { return 0; }
std::int32_t MSP430_Error_Number() { return 1; }
const char* MSP430_Error_String(std::int32_t) { return "the slow library gave up waiting"; }
std::int32_t MSP430_GetNumberOfUsbIfs(std::int32_t*) { return 0; }
std::int32_t MSP430_GetNameOfUsbIf(std::int32_t, char**, std::int32_t*) { return 0; }
}
