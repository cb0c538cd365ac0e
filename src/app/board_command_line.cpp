#include "app/board_command_line.h"

#include <cerrno>
#include <cstdlib>

#include "base/ascii_text.h"
#include "chip/parts.h"

namespace {

// An address or a count as the user writes them: decimal, or hex with 0x.
bool read_number(const char* text, unsigned long limit, unsigned long& value) {
    if (!text || !*text || *text == '-' || *text == '+') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 0);
    return errno == 0 && *end == '\0' && value <= limit;
}

}  // namespace

bool read_board_options(int argc, const char* const* argv, BoardOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long number = 0;
        if (ascii_equal(word, "--")) {
            options.command.assign(argv + i + 1, argv + argc);
            if (options.command.empty()) return error = "-- names no command", false;
            return true;
        }
        if (ascii_equal(word, "-h") || ascii_equal(word, "-help") || ascii_equal(word, "--help")) {
            options.usage = true;
        } else if (ascii_equal(word, "-part")) {
            const Part* part = value ? find_part(value) : nullptr;
            if (!part) return error = value ? std::string("-part ") + value + ": no such part" : "-part needs a part name", false;
            options.part = part->name, ++i;
        } else if (ascii_equal(word, "-load")) {
            if (!value) return error = "-load needs an image file", false;
            options.load = value, ++i;
        } else if (ascii_equal(word, "-stuck")) {
            if (!read_number(value, 0xFFFFF, number))
                return error = "-stuck needs a flash address (0xC000 or 49152)", false;
            options.faults.stuck_bit = true;
            options.faults.stuck_address = static_cast<std::uint32_t>(number), ++i;
        } else if (ascii_equal(word, "-old-firmware")) {
            options.faults.old_firmware = true;
        } else if (ascii_equal(word, "-hang-after")) {
            if (!read_number(value, 0x7FFFFFFF, number)) return error = "-hang-after needs a count of commands", false;
            options.faults.silent_after_executes = static_cast<long>(number), ++i;
        } else if (ascii_equal(word, "-hang-at")) {
            const int macro = value ? ez_fet_macro_id(value) : -1;
            if (macro < 0) return error = "-hang-at needs the name of an adapter command (Psa, ExecuteFunclet, ...)", false;
            options.faults.silent_at_macro = macro, ++i;
        } else if (ascii_equal(word, "-fuse-blown")) {
            options.faults.fuse_blown = true;
        } else {
            return error = std::string("unknown option ") + word, false;
        }
    }
    return true;
}

const char* board_usage() {
    return "Usage: kesto-board [-part G2553] [-load FILE] [faults...] [-- COMMAND [ARG...]]\n"
           "\n"
           "Runs COMMAND (default: $SHELL, else /bin/sh) beside a virtual MSP430 LaunchPad: there\n"
           "/dev/ttyACM0 is its eZ-FET debug port and /dev/ttyACM1 its application UART, wired to\n"
           "the simulated chip's USCI_A0 at the rate set on that port, and /sys/class/tty shows\n"
           "both as a LaunchPad's, so the FET library, KESTO and other tools find the board.\n"
           "Ends with COMMAND's exit status; the board ends with it.\n"
           "\n"
           "  -part G2553       the chip on the board (only the MSP430G2553 has one)\n"
           "  -load FILE        start with FILE (ELF, Intel HEX or TI-TXT) in the chip's flash\n"
           "Faults:\n"
           "  -stuck ADDR       a flash bit at ADDR that does not take what is programmed\n"
           "  -old-firmware     adapter firmware older than the library (it asks for an update)\n"
           "  -hang-after N     the adapter stops answering after N commands\n"
           "  -hang-at NAME     ... or at the first command NAME (Psa, ExecuteFunclet, ...)\n"
           "  -fuse-blown       the chip's JTAG fuse is blown\n"
           "  -h                this text\n"
           "\n"
           "Needs unprivileged user namespaces (or root); exit status 2 where they are refused.\n";
}

std::vector<std::string> default_board_command() {
    const char* shell = std::getenv("SHELL");
    return {shell && *shell ? shell : "/bin/sh"};
}
