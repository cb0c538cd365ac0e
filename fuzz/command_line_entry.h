// The command line fed argument vectors: the input split at its NUL bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "base/console.h"
#include "base/run_settings.h"
#include "fet/vendor_library.h"
#include "fuzz/fuzz_check.h"
#include "platform/serial_device_seam.h"
#include "terminal/serial_port.h"

struct FuzzExit {
    int status;
};

[[noreturn]] inline void fuzz_exit_by_throwing(int status) { throw FuzzExit{status}; }

// Every flag bit the settings name; no other may ever be set.
inline constexpr std::uint32_t FUZZ_NAMED_FLAGS =
    FLAG_INFO | FLAG_CRLF | FLAG_POWER_OFF | FLAG_PRESERVE_RAM | FLAG_AUTOSTART | FLAG_EXT_VCC | FLAG_BLANK_CHECK |
    FLAG_DETECT_ONLY | FLAG_PROGRAM | FLAG_VERIFY | FLAG_TERMINAL | FLAG_ERASE_ALL | FLAG_UNLOCK_INFO |
    FLAG_ERASE_INFO | FLAG_ERASE_INFO_A | FLAG_BLOW_FUSE | FLAG_READ_OUT | FLAG_DLL_CHECK;

// More arguments only repeat what fewer already reach.
inline constexpr std::size_t FUZZ_MAX_ARGUMENTS = 64;

// The COM ports that AUTO, USB and -pl try all name no device, so no real port is ever opened.
inline void fuzz_command_line_setup() {
    exit_interceptor = fuzz_exit_by_throwing;
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) serial_device_set_com_path(n, "/nonexistent/kesto-fuzz/tty");
}

inline void fuzz_check_accepted_settings() {
    FUZZ_CHECK(std::memchr(settings.port_name, 0, sizeof settings.port_name) != nullptr);
    FUZZ_CHECK(std::memchr(settings.fet_port, 0, sizeof settings.fet_port) != nullptr);
    FUZZ_CHECK((settings.flags & ~FUZZ_NAMED_FLAGS) == 0);
    FUZZ_CHECK(settings.interface_mode >= -1 && settings.interface_mode <= 2);
    FUZZ_CHECK(settings.vcc_mv == 0 ? (settings.flags & FLAG_EXT_VCC) != 0
                                     : settings.vcc_mv >= 1800 && settings.vcc_mv <= 3600);
    FUZZ_CHECK((settings.reset_method >= 0 && settings.reset_method <= 15) ||
               (settings.reset_method >= 129 && settings.reset_method <= 134));
    if (settings.flags & (FLAG_PROGRAM | FLAG_VERIFY)) FUZZ_CHECK(!settings.program_file.empty());
    if (settings.flags & FLAG_READ_OUT) FUZZ_CHECK(!settings.read_out_file.empty());
    FUZZ_CHECK(settings.baud != nullptr && settings.log_name != nullptr);
    FUZZ_CHECK(settings.log_fd == -1 || settings.log_fd == 0);
    FUZZ_CHECK(settings.port_handle <= 0);
}

// The listings given first take the vendor's library when it loads, and that would drive a
// real adapter; the command line is fuzzed only where the simulator stands in.
inline bool fuzz_command_line_safe() { return !vendor_library_loaded(); }

inline void fuzz_command_line(const std::uint8_t* data, std::size_t size) {
    fuzz_command_line_setup();
    if (!fuzz_command_line_safe()) return;
    std::vector<std::string> texts{"kesto"};
    if (size > 0) {
        texts.emplace_back();
        for (std::size_t i = 0; i < size && texts.size() <= FUZZ_MAX_ARGUMENTS; ++i) {
            if (data[i] == 0)
                texts.emplace_back();
            else
                texts.back().push_back(static_cast<char>(data[i]));
        }
    }
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    settings = RunSettings{};
    try {
        parse_command_line(static_cast<int>(texts.size()), argv.data());
    } catch (const FuzzExit& exit) {
        FUZZ_CHECK(exit.status >= 0 && exit.status <= 3);
        FUZZ_CHECK(settings.port_handle <= 0);
        return;
    }
    fuzz_check_accepted_settings();
}
