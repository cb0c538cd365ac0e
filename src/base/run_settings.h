// The one record of settings and run state that every part of the program reads and writes.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* PROGRAM_NAME = "KESTO";

// Bits of RunSettings::flags. Bits not named here stay zero for the whole run.
inline constexpr std::uint32_t FLAG_INFO = 0x00001;
inline constexpr std::uint32_t FLAG_CRLF = 0x00002;
inline constexpr std::uint32_t FLAG_POWER_OFF = 0x00004;
inline constexpr std::uint32_t FLAG_PRESERVE_RAM = 0x00008;
inline constexpr std::uint32_t FLAG_AUTOSTART = 0x00010;
inline constexpr std::uint32_t FLAG_EXT_VCC = 0x00020;
inline constexpr std::uint32_t FLAG_BLANK_CHECK = 0x00040;
inline constexpr std::uint32_t FLAG_DETECT_ONLY = 0x00080;
inline constexpr std::uint32_t FLAG_PROGRAM = 0x00100;
inline constexpr std::uint32_t FLAG_VERIFY = 0x00200;
inline constexpr std::uint32_t FLAG_TERMINAL = 0x00400;
inline constexpr std::uint32_t FLAG_ERASE_ALL = 0x00800;
inline constexpr std::uint32_t FLAG_UNLOCK_INFO = 0x01000;
inline constexpr std::uint32_t FLAG_ERASE_INFO = 0x02000;
inline constexpr std::uint32_t FLAG_ERASE_INFO_A = 0x04000;
inline constexpr std::uint32_t FLAG_BLOW_FUSE = 0x08000;
inline constexpr std::uint32_t FLAG_READ_OUT = 0x20000;
inline constexpr std::uint32_t FLAG_DLL_CHECK = 0x40000;

inline constexpr std::uint32_t DEFAULT_FLAGS = FLAG_DLL_CHECK | FLAG_AUTOSTART | FLAG_PRESERVE_RAM;

// Port and adapter names are fixed buffers of 127 characters and a terminator: room for
// /dev/serial/by-id/... paths. A longer name is refused where it is read, never cut, since a
// cut name could name another device.
inline constexpr int NAME_SIZE = 128;

struct RunSettings {
    // Output and exit behaviour.
    int print_level = 2;
    int anykey_mode = 2;  // 0 never, 1 on error, 2 always wait for a key at exit

    std::uint32_t flags = DEFAULT_FLAGS;

    // Target device and FET library.
    char fet_port[NAME_SIZE] = "TIUSB";
    int interface_mode = -1;  // 0 JTAG, 1 Spy-Bi-Wire, 2 SBW through JTAG; negative: the library's choice
    int vcc_mv = 3200;
    int reset_method = 7;
    // Image and read-out names are kept whole: cutting one could make the program read or
    // overwrite a different file.
    std::string program_file;
    std::string read_out_file;
    int dll_version = 0;
    bool update_firmware = false;  // -update: bring the adapter's firmware to the library's on a conflict
    int status = 0;
    int fuse_status = 999;

    // Serial port and terminal.
    char port_name[NAME_SIZE] = "";
    const char* baud = "19200";  // refers to an argument text or this literal; never copied
    std::intptr_t port_handle = 0;  // 0 no port, -1 after a failed open, else the open device
    int write_errors = 0;
    int read_budget = 0;
    int oem_codepage = 0;
    int log_fd = -1;  // -1 no log, 0 asked for and not yet open, above 0 the open file
    const char* log_name = "kestolog.txt";
};

extern RunSettings settings;
