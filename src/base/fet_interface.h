// The FET debug-interface library as a table of its functions, and the device record it fills:
// the library's own interface, shared by the program that calls it and the simulator that
// stands in for it.
//
// Three providers fill the table: the vendor's library loaded at run time, the simulated
// adapter and target, and a test's scripted fake.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/system_conventions.h"  // FET_CALL

// Every integer the library takes or gives is 32 bits wide on every platform: its status, its
// arguments and what it writes through out-parameters. C long would be 64 bits on 64-bit Linux,
// where a library may leave the upper half of a returned register undefined and writes only
// four bytes through a pointer.
using fet_int = std::int32_t;

// What a call returns when it fails before the library's own work: any nonzero is a failure.
inline constexpr fet_int STATUS_FAILED = -1;

// The adapter's firmware update reports each step through this; w_param is the percentage done
// for FIRMWARE_BLOCK_DONE, handle the one the update was given. Unlike the library's functions,
// the callback has the C convention everywhere, 32-bit Windows included.
using FetFirmwareProgress = void(FET_CALLBACK*)(std::uint32_t message, std::uint32_t w_param, std::uint32_t l_param,
                                            fet_int handle);

// Every call returns 0 for success; out-parameters are read only after success.
struct FetLibrary {
    fet_int(FET_CALL* MSP430_Initialize)(const char* port, fet_int* version);
    fet_int(FET_CALL* MSP430_Configure)(fet_int mode, fet_int value);
    fet_int(FET_CALL* MSP430_VCC)(fet_int millivolts);
    fet_int(FET_CALL* MSP430_GetExtVoltage)(fet_int* millivolts, fet_int* state);
    fet_int(FET_CALL* MSP430_Identify)(char* record, fet_int size, fet_int set_id);
    fet_int(FET_CALL* MSP430_Device)(fet_int id, char* record, fet_int size);
    fet_int(FET_CALL* MSP430_Erase)(fet_int type, fet_int address, fet_int length);
    fet_int(FET_CALL* MSP430_EraseCheck)(fet_int address, fet_int length);
    fet_int(FET_CALL* MSP430_ProgramFile)(const char* file, fet_int erase_type, fet_int verify);
    fet_int(FET_CALL* MSP430_VerifyFile)(const char* file);
    fet_int(FET_CALL* MSP430_ReadOutFile)(fet_int address, fet_int length, const char* file, fet_int file_type);
    fet_int(FET_CALL* MSP430_Secure)();
    fet_int(FET_CALL* MSP430_Reset)(fet_int method, fet_int execute, fet_int release_jtag);
    fet_int(FET_CALL* MSP430_Close)(fet_int vcc_off);
    fet_int(FET_CALL* MSP430_Error_Number)();
    const char*(FET_CALL* MSP430_Error_String)(fet_int error_number);
    fet_int(FET_CALL* MSP430_GetNumberOfUsbIfs)(fet_int* count);
    fet_int(FET_CALL* MSP430_GetNameOfUsbIf)(fet_int index, char** name, fet_int* in_use);
    // Null when the library cannot update the adapter's firmware (the original generation, the
    // built-in simulator). A null file means the firmware built into the library.
    fet_int(FET_CALL* MSP430_FET_FwUpdate)(const char* file, FetFirmwareProgress progress, fet_int handle);
};

// Configure modes and values the program hands to MSP430_Configure.
inline constexpr fet_int CONFIGURE_INTERFACE = 8;
inline constexpr fet_int CONFIGURE_VERIFICATION = 0;
inline constexpr fet_int CONFIGURE_RAM_PRESERVE = 10;
inline constexpr fet_int CONFIGURE_INFO_UNLOCK = 5;

// Erase types, by the library's own names. ERASE_MAIN is what a mass erase and a programming
// pass hand over; with MSP430_ProgramFile, ERASE_ALL also erases the information memory but
// segment A.
inline constexpr fet_int ERASE_SEGMENT = 0;
inline constexpr fet_int ERASE_MAIN = 1;
inline constexpr fet_int ERASE_ALL = 2;

// States reported by MSP430_GetExtVoltage.
inline constexpr fet_int EXT_VCC_NONE = 36;
inline constexpr fet_int EXT_VCC_LOW = 37;
inline constexpr fet_int EXT_VCC_GOOD = 38;
inline constexpr fet_int EXT_VCC_HIGH = 39;

// The messages of a firmware update's progress report.
inline constexpr std::uint32_t FIRMWARE_INIT = 0;
inline constexpr std::uint32_t FIRMWARE_ERASING_VECTORS = 1;
inline constexpr std::uint32_t FIRMWARE_ERASING = 2;
inline constexpr std::uint32_t FIRMWARE_PROGRAMMING = 3;
inline constexpr std::uint32_t FIRMWARE_BLOCK_DONE = 4;
inline constexpr std::uint32_t FIRMWARE_EXITING = 5;
inline constexpr std::uint32_t FIRMWARE_DONE = 6;
inline constexpr std::uint32_t FIRMWARE_ERROR = 7;
inline constexpr std::uint32_t FIRMWARE_WAITING = 8;

// Read-out file types.
inline constexpr fet_int FILE_TI_TXT = 1;
inline constexpr fet_int FILE_INTEL_HEX = 2;

// The 80-byte device description. Words are little-endian, ends inclusive. The current
// generation of the library hands out a longer record whose first 74 bytes are laid out alike.
inline constexpr int DEVICE_RECORD_SIZE = 80;
inline constexpr int CURRENT_DEVICE_RECORD_SIZE = 112;
// The first word of a record the library filled; the current generation returns success with a
// record of zeros when no device was opened.
inline constexpr std::uint32_t DEVICE_RECORD_MARK = 0xAA55;

enum DeviceField : int {
    DEV_MARK = 0,
    DEV_ID = 2,
    DEV_NAME = 4,  // 32 bytes with the terminator
    DEV_FLASH_START = 36,
    DEV_INFO_START = 38,
    DEV_RAM_END = 40,
    DEV_BREAKPOINTS = 42,
    DEV_EMULATION = 44,
    DEV_CLK_CONTROL = 46,
    DEV_LCD_START = 48,
    DEV_LCD_END = 50,
    DEV_VCC_MIN = 52,
    DEV_VCC_MAX = 54,
    DEV_TEST_VPP = 56,
    DEV_RAM_START = 58,
    DEV_EXT_RAM_START = 60,
    DEV_EXT_RAM_END = 62,
    DEV_INFO_END = 64,
    DEV_FLASH_END = 66,  // 32 bits
    DEV_BSL_START = 70,
    DEV_BSL_END = 72,
};

inline constexpr int DEVICE_NAME_SIZE = 32;

struct DeviceRecord {
    unsigned char bytes[DEVICE_RECORD_SIZE];

    char* data() { return reinterpret_cast<char*>(bytes); }
    std::uint32_t word(int offset) const { return bytes[offset] | (std::uint32_t{bytes[offset + 1]} << 8); }
    std::uint32_t dword(int offset) const { return word(offset) | (word(offset + 2) << 16); }
    void set_word(int offset, std::uint32_t value) {
        bytes[offset] = static_cast<unsigned char>(value);
        bytes[offset + 1] = static_cast<unsigned char>(value >> 8);
    }
    void set_dword(int offset, std::uint32_t value) {
        set_word(offset, value & 0xFFFF);
        set_word(offset + 2, value >> 16);
    }
    // The name, cut before the field's last byte as a terminator there would cut it, even when
    // the library filled all 32 bytes.
    std::string name() const {
        const char* field = reinterpret_cast<const char*>(bytes + DEV_NAME);
        return std::string(field, strnlen(field, DEVICE_NAME_SIZE - 1));
    }
};
