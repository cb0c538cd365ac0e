#include "app/command_line.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/ascii_text.h"
#include "base/console.h"
#include "base/run_settings.h"
#include "fet/fet_library.h"
#include "fet/listings.h"
#include "platform/file_names.h"
#include "terminal/expectations.h"
#include "terminal/serial_port.h"

namespace {

// The argument vector and the position being read. Position 0, the program's own path, is
// never looked at.
struct Arguments {
    int count;
    char** texts;
    int at;

    const char* current() const { return texts[at]; }
    bool has_next() const { return at + 1 < count; }
    const char* next() const { return has_next() ? texts[at + 1] : nullptr; }

    // Takes the next argument as the value of the current one, unless there is none or it
    // begins with one of the refused characters; a refused argument is parsed on its own.
    const char* take_value(const char* refused_first_characters) {
        const char* value = next();
        if (!value) return nullptr;
        if (value[0] && std::strchr(refused_first_characters, value[0])) return nullptr;
        ++at;
        return value;
    }
};

enum class Match { exact, prefix };

bool matches(const char* text, const char* word, Match match) {
    return match == Match::exact ? ascii_equal(text, word) : ascii_starts_with(text, word);
}

// The fields a parse starts from, with the values the record is declared with.
void store_defaults() {
    const RunSettings defaults;
    settings.flags = defaults.flags;
    settings.oem_codepage = defaults.oem_codepage;
    settings.reset_method = defaults.reset_method;
    settings.vcc_mv = defaults.vcc_mv;
    settings.fuse_status = defaults.fuse_status;
    settings.interface_mode = defaults.interface_mode;
    settings.log_fd = defaults.log_fd;
    settings.log_name = defaults.log_name;
    settings.baud = defaults.baud;
    settings.port_handle = defaults.port_handle;
    settings.write_errors = defaults.write_errors;
    settings.expect_texts.clear();
    settings.error_texts.clear();
    settings.timeout_tenths = defaults.timeout_tenths;
    std::memcpy(settings.fet_port, defaults.fet_port, sizeof settings.fet_port);
}

// The parser's errors are printed whatever the print level, unlike an unknown option.
[[noreturn, PRINTF_FORMAT(2, 3)]] void fail(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprint_plain(format, args);
    va_end(args);
    exit_program(code);
}

// An unknown option is only reported at level 2, so "-d 0" earlier on the line silences it.
[[noreturn]] void unknown_option(const char* text) {
    print_at_level(2, "\nUnknown option: '%s'\n", text);
    exit_program(1);
}

// --- Commands that may only stand in the first argument. Each one ends the program.

void command_list_devices() {
    choose_fet_library_for_listing();
    list_devices();
    // A listing asked for on its own has nothing to wait for.
    settings.anykey_mode = 0;
}

void command_list_com_ports() { list_com_ports(); }

void command_list_fet_ports() {
    choose_fet_library_for_listing();
    list_fet_ports();
}

struct FirstArgumentCommand {
    const char* word;
    Match match;
    void (*run)();
};

// In this order; the first that matches runs.
constexpr FirstArgumentCommand FIRST_ARGUMENT_COMMANDS[] = {
    {"-list", Match::exact, command_list_devices},
    {"-pl", Match::prefix, command_list_com_ports},
    {"-fl", Match::prefix, command_list_fet_ports},
    {"-h", Match::prefix, print_usage},
    {"?", Match::prefix, print_usage},
};

void run_first_argument_command(const char* first) {
    for (const FirstArgumentCommand& command : FIRST_ARGUMENT_COMMANDS) {
        if (!matches(first, command.word, command.match)) continue;
        command.run();
        exit_program(EXIT_DONE);
    }
}

// --- Options. Each procedure reads the option at args.current() and, when it takes a value,
// leaves args.at on that value.

void option_fet(Arguments& args) {
    const char* value = args.take_value("-");
    static const RunSettings defaults;
    if (!value) value = defaults.fet_port;
    // Cutting a long name could select another adapter; refuse it instead.
    if (std::strlen(value) >= sizeof settings.fet_port) fail(1, "\nInvalid FET port name\n");
    std::snprintf(settings.fet_port, sizeof settings.fet_port, "%s", value);
    print_at_level(2, "\t   FET Port name: %s\n", settings.fet_port);
}

void option_manual(Arguments&) {
    settings.flags &= ~FLAG_AUTOSTART;
    settings.flags |= FLAG_TERMINAL;
}

void option_vcc(Arguments& args) {
    const char* value = args.take_value("-+");
    if (!value) fail(1, "\nInvalid VCC option\n");
    if (std::strcmp(value, "ext") == 0) {
        settings.flags |= FLAG_EXT_VCC;
        settings.vcc_mv = 0;
        print_at_level(2, "\t             Vcc: External\n");
        return;
    }
    // "X.X": whole volts, then tenths read from the third character on. Neither is narrowed or
    // wrapped ("3.4294967297" is not 3.1 V): each is held to 10^15, which the sum in millivolts
    // still holds.
    constexpr long long PART_LIMIT = 1'000'000'000'000'000;
    long long millivolts = 1000LL * read_integer_bounded(value, PART_LIMIT);
    if (std::strlen(value) >= 3) millivolts += 100LL * read_integer_bounded(value + 2, PART_LIMIT);
    print_at_level(2, "\t             Vcc: %sV\n", volts_text(millivolts).c_str());
    if (millivolts < 1800 || millivolts > 3600) fail(1, "\nInvalid VCC\n");
    settings.vcc_mv = static_cast<int>(millivolts);
}

void option_sbw(Arguments& args) {
    const char* value = args.take_value("-");
    // Tested before it is narrowed, so that no huge number wraps into a valid mode.
    const long mode = value ? read_integer(value) : 1;
    settings.interface_mode = static_cast<int>(mode);
    print_at_level(2, "\t       Interface: ");
    switch (mode) {
        case 0: print_at_level(2, "4-wire JTAG\n"); break;
        case 1: print_at_level(2, "Spy-bi-Wire\n"); break;
        case 2: print_at_level(2, "SBW accessed by 4-wire JTAG\n"); break;
        default: fail(1, "\nInvalid SBW option\n");
    }
}

void option_info(Arguments&) { settings.flags |= FLAG_INFO; }

void option_erase_info_a(Arguments&) { settings.flags |= FLAG_ERASE_INFO_A; }

void option_detect(Arguments&) {
    settings.flags |= FLAG_INFO | FLAG_AUTOSTART | FLAG_DETECT_ONLY;
    print_at_level(2, "\tOnly detect MSP430 chip part ID\n");
}

void option_oem(Arguments&) {
    settings.oem_codepage = 1;
    print_at_level(2, "\tSelected OEM Codepage\n");
}

void option_crlf(Arguments&) {
    settings.flags |= FLAG_CRLF;
    print_at_level(2, "\tCR and LF transparent\n");
}

void option_no_dll_check(Arguments&) {
    settings.flags &= ~FLAG_DLL_CHECK;
    print_at_level(2, "\tDLL Version check disabled\n");
}

void option_update(Arguments&) {
    settings.update_firmware = true;
    print_at_level(2, "\tFET firmware update on a version conflict\n");
}

void option_fast(Arguments&) {
    settings.flags &= ~FLAG_PRESERVE_RAM;
    print_at_level(2, "\tFast Programming: RAM Content not preserved\n");
}

void option_debug(Arguments& args) {
    const char* value = args.take_value("-");
    settings.print_level = value ? static_cast<int>(read_integer(value)) : 4;
    // Echoed under the new level, so "-d 0" silences its own line.
    print_at_level(1, "\t     Debug level: %02i\n", settings.print_level);
}

void option_reset(Arguments& args) {
    const char* option = args.current();
    const char* value = args.take_value("-");
    if (!value) fail(1, "\nUnknown option: '%s'\n", option);
    int method = static_cast<int>(read_integer(value) & 15);
    if (method >= 1 && method <= 6) method += 128;
    // The target's supply goes off at the end ("+o"): there is nothing to reset.
    if (settings.flags & FLAG_POWER_OFF) method = 0;
    settings.reset_method = method;
    print_at_level(2, "\t     Reset Metod: %02i\n", settings.reset_method);
}

void option_anykey(Arguments& args) {
    const char* value = args.take_value("-");
    settings.anykey_mode = value ? static_cast<int>(read_integer(value)) : 0;
}

void option_log(Arguments& args) {
    settings.log_fd = 0;
    if (const char* value = args.take_value("-+")) settings.log_name = value;
    print_at_level(2, "\t   Log output to:`%s`\n", settings.log_name);
}

void option_baud(Arguments& args) {
    if (!args.has_next()) unknown_option(args.current());
    // Any text is taken, "-x" included; the port's open reads and checks it.
    settings.baud = args.texts[++args.at];
}

// -expect and -error take any text, one that begins with "-" too ("--- PASS").
const char* watched_text(Arguments& args) {
    const char* option = args.current();
    if (!args.has_next()) fail(1, "\n%s needs a text\n", option);
    const char* text = args.texts[++args.at];
    std::string bytes;
    if (!decode_text_escapes(text, bytes))
        fail(1, "\nInvalid text for %s: '%s' (escapes: \\n \\r \\t \\xNN \\\\)\n", option, text);
    return text;
}

void option_expect(Arguments& args) {
    settings.expect_texts.push_back(watched_text(args));
    print_at_level(2, "\t          Expect: `%s`\n", settings.expect_texts.back());
}

void option_error(Arguments& args) {
    settings.error_texts.push_back(watched_text(args));
    print_at_level(2, "\t           Error: `%s`\n", settings.error_texts.back());
}

void option_timeout(Arguments& args) {
    const char* value = args.has_next() ? args.texts[++args.at] : "";
    if (!read_timeout_tenths(value, settings.timeout_tenths))
        fail(1, "\nInvalid timeout: '%s' (seconds, whole or with one decimal)\n", value);
    print_at_level(2, "\t         Timeout: %d.%d s\n", settings.timeout_tenths / 10, settings.timeout_tenths % 10);
}

struct OptionEntry {
    const char* word;
    Match match;
    void (*handle)(Arguments&);
};

// The order of testing: the first entry that matches decides, so a word that begins like an
// earlier prefix entry belongs to it ("-fast" and "-fl" are "-f", "-debug" is "-d").
constexpr OptionEntry OPTIONS[] = {
    {"-FET", Match::exact, option_fet},
    {"-m", Match::prefix, option_manual},
    {"-vcc", Match::prefix, option_vcc},
    {"-sbw", Match::prefix, option_sbw},
    {"-info", Match::prefix, option_info},
    {"-ia", Match::prefix, option_erase_info_a},
    {"-det", Match::prefix, option_detect},
    {"-oem", Match::exact, option_oem},
    {"-crlf", Match::exact, option_crlf},
    {"--dll", Match::exact, option_no_dll_check},
    {"-update", Match::exact, option_update},
    {"-f", Match::prefix, option_fast},
    {"-d", Match::prefix, option_debug},
    {"-res", Match::prefix, option_reset},
    {"-a", Match::prefix, option_anykey},
    {"-l", Match::exact, option_log},
    {"-baud", Match::exact, option_baud},
    {"-expect", Match::exact, option_expect},
    {"-error", Match::exact, option_error},
    {"-timeout", Match::exact, option_timeout},
};

void read_option(Arguments& args) {
    for (const OptionEntry& option : OPTIONS) {
        if (!matches(args.current(), option.word, option.match)) continue;
        option.handle(args);
        return;
    }
    unknown_option(args.current());
}

// --- Action words.

bool printable(unsigned char c) { return c >= 0x21 && c <= 0x7F; }

// True when the next argument was taken as the output name.
bool action_read_out(Arguments& args) {
    const char* name = args.next();
    // "+", "." and "/" may begin an output name, so ./out.hex works.
    const bool taken = name && name[0] != '-' &&
                       file_name_may_begin_with(static_cast<unsigned char>(name[0]), FileNameUse::read_out);
    if (taken) {
        settings.read_out_file = name;
        print_at_level(1, "\t    Out Filename:`%s`\n", settings.read_out_file.c_str());
    }
    if (settings.read_out_file.empty()) fail(2, "Out Filename not present\n");
    settings.flags |= FLAG_READ_OUT;
    return taken;
}

// One action letter at *letter; returns the position of the next letter to read.
const char* read_action_letter(const char* word, const char* letter) {
    switch (*letter) {
        case 'b': settings.flags |= FLAG_BLANK_CHECK; break;
        case 'e': settings.flags |= FLAG_ERASE_ALL; break;
        case 'f':
            if (std::strncmp(letter, "fuse", 4) == 0) {
                settings.flags |= FLAG_BLOW_FUSE;
                std::fputs("\t         Warning: Blow Fuse!\n", stdout);
                return letter + 4;
            }
            break;  // an "f" that does not start "fuse" does nothing
        case 'i': settings.flags |= FLAG_UNLOCK_INFO; break;
        case 'o':
            settings.flags |= FLAG_POWER_OFF;
            settings.reset_method = 0;
            break;
        case 'p': settings.flags |= FLAG_PROGRAM; break;
        case 'v': settings.flags |= FLAG_VERIFY; break;
        case 'x': settings.flags |= FLAG_ERASE_INFO; break;
        default: fail(2, "Invaild Switch: %s", word);
    }
    return letter + 1;
}

// True when the next argument was taken as the image name.
bool action_letters(Arguments& args) {
    const char* word = args.current();
    // Unlike an output name, an image name never begins with "+": "+e +p x.hex" is two words.
    const char* name = args.next();
    const bool taken = name && name[0] != '-' && name[0] != '+' &&
                       file_name_may_begin_with(static_cast<unsigned char>(name[0]), FileNameUse::image);
    if (taken) {
        settings.program_file = name;
        print_at_level(1, "\t        Filename:`%s`\n", settings.program_file.c_str());
    }
    const char* letter = word + 1;
    while (*letter && printable(static_cast<unsigned char>(*letter))) letter = read_action_letter(word, letter);
    // Any name taken so far counts: "+e a.hex +pv" programs a.hex.
    if ((settings.flags & (FLAG_PROGRAM | FLAG_VERIFY)) && settings.program_file.empty())
        fail(2, "Filename not present\n");
    return taken;
}

void read_action_word(Arguments& args) {
    const char* action = args.current();
    const bool taken = ascii_equal(action, "+r") ? action_read_out(args) : action_letters(args);
    // The argument behind an action word is its file name's place, taken or not: it is never
    // read as an option or action of its own. One dropped that way is said so.
    if (!args.has_next()) return;
    ++args.at;
    if (!taken && args.current()[0])
        std::printf("Warning: %s was taken as the file name of %s; write it before %s or give %s a name\n",
                    args.current(), action, action, action);
}

// A word that is no option, no action and no option's value or file name is read by nothing.
void passed_over(const char* word) {
    if (!word[0]) return;
    if (ascii_starts_with(word, "COM") || ascii_starts_with(word, "AUTO") || ascii_starts_with(word, "USB"))
        std::printf("Warning: %s was passed over: a serial port is read only as the first word\n", word);
    else
        std::printf("Warning: %s was passed over: nothing reads it; a file name goes right behind its action word "
                    "(+r for a read-out)\n", word);
}

}  // namespace

void parse_command_line(int argc, char** argv) {
    store_defaults();
    print_at_level(1, "%s %s  MSP430 programmer and serial terminal\n", PROGRAM_NAME, KESTO_VERSION);
    if (argc < 2) {
        print_usage();
        exit_program(1);
    }
    run_first_argument_command(argv[1]);
    select_serial_port(argv[1]);

    Arguments args{argc, argv, 1};
    for (; args.at < argc; ++args.at) {
        const char first = args.current()[0];
        if (first == '-')
            read_option(args);
        else if (first == '+')
            read_action_word(args);
        else if (args.at > 1 || !settings.port_name[0])  // the first word may be the port
            passed_over(args.current());
    }
    if (settings.port_name[0])
        print_at_level(2, "\t     Serial Port: %s    Baud: %s\n", settings.port_name, settings.baud);
    // Refused before the chip is touched: a run that can never see the text would pass in CI.
    if (!settings.expect_texts.empty() && (settings.flags & (FLAG_TERMINAL | FLAG_DETECT_ONLY)) != FLAG_TERMINAL)
        fail(1, "\n-expect needs the terminal: name its serial port first\n");
}
