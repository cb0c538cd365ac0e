#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "base/run_settings.h"
#include "fet/vendor_library.h"
#include "base/console.h"
#include "platform/port_hints.h"
#include "platform/serial_device_seam.h"
#include "support/capture.h"
#include "support/run_program.h"

const std::string BANNER = "KESTO 1.0  MSP430 programmer and serial terminal\n", FAST = "\tFast Programming: RAM "
    "Content not preserved\n", DONE = "\nPress AnyKey to Exit\n", FAILED = DONE + "\a\a\a";  // in key mode 2
constexpr int ACCEPTED = CAPTURE_RETURNED;
const int DONE_STATUS = exit_status_for(EXIT_DONE);

static std::string changed() {
    const RunSettings d, &s = settings;
    std::ostringstream out;
    const auto show = [&out](const char* name, const auto& value, const auto& initial) {
        if (value != initial) out << ' ' << name << '=' << value;
    };
    if (s.flags != d.flags) out << " flags=" << std::hex << s.flags << std::dec;
    show("level", s.print_level, d.print_level), show("fet", std::string(s.fet_port), std::string(d.fet_port));
    show("sbw", s.interface_mode, d.interface_mode), show("vcc", s.vcc_mv, d.vcc_mv);
    show("reset", s.reset_method, d.reset_method), show("image", s.program_file, d.program_file);
    show("out", s.read_out_file, d.read_out_file), show("baud", std::string(s.baud), std::string(d.baud));
    show("oem", s.oem_codepage, d.oem_codepage), show("log", s.log_fd, d.log_fd);
    show("update", s.update_firmware, d.update_firmware);
    return out.str();
}

// No COM name leads to a device; by default the settings changed are printed after the parse.
static Captured parse(std::vector<std::string> arguments, const std::function<void()>& after = {},
                      const std::function<void()>& before = {}) {
    settings = RunSettings{};
    if (before) before();
    for (int i = COM_PORT_FIRST; i <= COM_PORT_LAST; ++i) serial_device_set_com_path(i, "/nonexistent/kesto");
    const Captured out = capture_output([&] {
        arguments.insert(arguments.begin(), "kesto");
        parse_command_line(static_cast<int>(arguments.size()), c_strings(arguments).data());
        after ? after() : (void)std::printf("ok%s\n", changed().c_str());
    });
    for (int i = COM_PORT_FIRST; i <= COM_PORT_LAST; ++i) serial_device_set_com_path(i, nullptr);
    settings = RunSettings{};
    return out;
}

// Its lines are the program's own: only where it appears and what changes in it count.
static std::string usage() { return parse({"-m"}, print_usage).text.substr(BANNER.size()); }

const std::string SIM_FOUND = "\nFound: SIM  (the UART of the simulated MSP430G2553 board, with -FET SIM)\n";

TEST(CommandLine, ArgumentVectors) {
    const std::string vcc = "\t             Vcc: ", reset = "\t     Reset Metod: ", sbw = "\t       Interface: ";
    const std::string debug = "\t     Debug level: ", fet = "\t   FET Port name: ", image = "\t        Filename:`";
    const std::string port = "\t     Serial Port: ", no_file = "Filename not present\n" + FAILED;
    // Words dropped by the walk are named, and why.
    const auto unread = [](const std::string& word) {
        return "Warning: " + word + " was passed over: nothing reads it; a file name goes right behind its action "
               "word (+r for a read-out)\n";
    };
    const auto slot = [](const std::string& word, const std::string& action) {
        return "Warning: " + word + " was taken as the file name of " + action + "; write it before " + action +
               " or give " + action + " a name\n";
    };
    const std::string no_terminal = "\n-expect needs the terminal: name its serial port first\n";
    const std::string path = "/dev/serial/by-id/" + std::string(109, 'x');  // the longest name, 127
    const std::string USAGE = usage();
    const struct { std::vector<std::string> arguments; std::string text; int status = ACCEPTED; } cases[] = {
        {{}, USAGE + FAILED, 1},
        {{"-H", "-a", "0"}, USAGE + DONE, DONE_STATUS},
        {{"-PLx", "-a", "0"}, SIM_FOUND + "Can't find COM Port\n" + DONE, DONE_STATUS},  // the board's UART is always there
        {{"-f", "-h"}, FAST + "\nUnknown option: '-h'\n" + FAILED, 1},
        {{"-d", "2", "-fl", "?"}, debug + "02\n" + FAST + unread("?") + "ok flags=40010\n"},
        // -vcc: volts and tenths, each read on its own; 1.8 to 3.6, or "ext".
        {{"-vcc", "3.3"}, vcc + "3.3V\nok vcc=3300\n"},
        {{"-vcc", "1.7"}, vcc + "1.7V\n\nInvalid VCC\n" + FAILED, 1},
        {{"-vcc", "1.8"}, vcc + "1.8V\nok vcc=1800\n"},
        {{"-vcc", "3.6"}, vcc + "3.6V\nok vcc=3600\n"},
        {{"-vcc", "3.7"}, vcc + "3.7V\n\nInvalid VCC\n" + FAILED, 1},
        // Narrowed to 32 bits or wrapped in 64, these would read as 3.1, 3.3 and 3.3 V.
        {{"-vcc", "3.4294967297"}, vcc + "429496732.7V\n\nInvalid VCC\n" + FAILED, 1},
        {{"-vcc", "004294967299"}, vcc + "4724464028.9V\n\nInvalid VCC\n" + FAILED, 1},
        {{"-vcc", "3.18446744073709551619"}, vcc + "100000000000003.0V\n\nInvalid VCC\n" + FAILED, 1},
        {{"-vcc", "ext", "-vcc", "3.0"}, vcc + "External\n" + vcc + "3.0V\nok flags=40038 vcc=3000\n"},
        {{"-d", "0", "-vcc", "-f"}, "\nInvalid VCC option\n" + FAILED, 1},
        // -res: the low four bits; 1 to 6 marked with 128; zeroed by power off.
        {{"-res", "3"}, reset + "131\nok reset=131\n"},
        {{"-reset", "23"}, reset + "07\nok\n"},
        {{"-res", "3", "+o"}, reset + "131\nok flags=4001c reset=0\n"},
        {{"-d", "0", "-res"}, "\nUnknown option: '-res'\n" + FAILED, 1},
        {{"-sbw", "-f"}, sbw + "Spy-bi-Wire\n" + FAST + "ok flags=40010 sbw=1\n"},
        {{"-sbw", "3"}, sbw + "\nInvalid SBW option\n" + FAILED, 1},
        // -d and -a: the echoes follow the level; errors and the prompt do not.
        {{"-d"}, debug + "04\nok level=4\n"},
        {{"-d", "0", "-x"}, FAILED, 1},
        {{"-d", "0", "+pv"}, no_file, 2},
        {{"-a", "-x"}, "\nUnknown option: '-x'\n", 1},
        // -FET: a name of up to 127 characters; without one, back to TIUSB. The port word is echoed last.
        {{"-FET", "HID1", "-FET", "-f"}, fet + "HID1\n" + fet + "TIUSB\n" + FAST + "ok flags=40010\n"},
        {{"-fet", path}, fet + path + "\nok fet=" + path + "\n"},
        {{"-FET", path + "y"}, "\nInvalid FET port name\n" + FAILED, 1},
        {{"-L", "my.txt"}, "\t   Log output to:`my.txt`\nok log=0\n"},
        {{"-BAUD", "-x"}, "ok baud=-x\n"},
        {{"-baud"}, "\nUnknown option: '-baud'\n" + FAILED, 1},
        // Switches, and longer words caught by a shorter entry.
        {{"-OEM", "-crlf", "--DLL", "-info", "-ia"},
         "\tSelected OEM Codepage\n\tCR and LF transparent\n\tDLL Version check disabled\nok flags=401b oem=1\n"},
        {{"-fast", "-dll"}, FAST + debug + "04\nok flags=40010 level=4\n"},
        {{"-UPDATE"}, "\tFET firmware update on a version conflict\nok update=1\n"},
        {{"-upd"}, "\nUnknown option: '-upd'\n" + FAILED, 1},  // the exact word only
        {{"-det", "-manual"}, "\tOnly detect MSP430 chip part ID\nok flags=40489\n"},
        // Action words and their file names.
        {{"+ebpv", "test.hex"}, image + "test.hex`\nok flags=40b58 image=test.hex\n"},
#if defined(_WIN32)
        // Windows keeps the old rule: an image name begins with 0x30..0x7F (a drive, not "." or
        // "/"), an output name with any printable ASCII character.
        {{"+p", "./a.hex"}, no_file, 2},
        {{"+v", "C:\\fw\\a.hex"}, image + "C:\\fw\\a.hex`\nok flags=40218 image=C:\\fw\\a.hex\n"},
        {{"+p", "прошивка.hex"}, no_file, 2},
        {{"+r", "выход.hex"}, "Out Filename not present\n" + FAILED, 2},
#else
        // Absolute, "./" and UTF-8 names; "+" begins an action word, not an image name.
        {{"+p", "./a.hex"}, image + "./a.hex`\nok flags=40118 image=./a.hex\n"},
        {{"+v", "/fw/a.hex"}, image + "/fw/a.hex`\nok flags=40218 image=/fw/a.hex\n"},
        {{"+p", "прошивка.hex"}, image + "прошивка.hex`\nok flags=40118 image=прошивка.hex\n"},
        {{"+r", "выход.hex"}, "\t    Out Filename:`выход.hex`\nok flags=60018 out=выход.hex\n"},
#endif
        {{"+p", "+a.hex"}, no_file, 2},
        {{"+p", " a.hex"}, no_file, 2},
        {{"+r", "./o.txt"}, "\t    Out Filename:`./o.txt`\nok flags=60018 out=./o.txt\n"},
        // The argument behind an action word is not read; what that drops is said.
        {{"+e", "+p", "x.hex"}, slot("+p", "+e") + unread("x.hex") + "ok flags=40818\n"},
        {{"+e", "+fuse"}, slot("+fuse", "+e") + "ok flags=40818\n"},
        {{"+x", "+r", "out.hex"}, slot("+r", "+x") + unread("out.hex") + "ok flags=42018\n"},
        {{"+ebpv", "fw.hex", "readout.hex"}, image + "fw.hex`\n" + unread("readout.hex") + "ok flags=40b58 image=fw.hex\n"},
        {{"+r", "a.hex", "+r", "-m"}, "\t    Out Filename:`a.hex`\n" + slot("-m", "+r") + "ok flags=60018 out=a.hex\n"},
        {{"+p", "fw.hex", "com3"}, image + "fw.hex`\nWarning: com3 was passed over: a serial port is read only as the "
                                   "first word\nok flags=40118 image=fw.hex\n"},
        {{"+fu"}, "Invaild Switch: +fu" + FAILED, 2},
        {{"+fuse"}, "\t         Warning: Blow Fuse!\nok flags=48018\n"},
        {{"+q", "a.hex"}, image + "a.hex`\nInvaild Switch: +q" + FAILED, 2},
        {{"hello", "", "-m"}, unread("hello") + "ok flags=40408\n"},
        {{"com3", "-f"}, FAST + port + "COM3    Baud: 19200\nok flags=40410\n"},
        {{"Com12", "-baud", "115200"}, port + "\\\\.\\COM12    Baud: 115200\nok flags=40418 baud=115200\n"},
        {{"/dev/ttyUSB0", "-d", "0"}, "ok flags=40418 level=0\n"},
        {{"AUTO", "-a", "0", "-x"}, "Can't find COM Port\n" + serial_scan_hint(COM_PORT_FIRST, 0, 0) + FAILED, 2},
        // Unattended runs: any text, one that begins with "-" too, its escapes checked; once one of
        // the three is given no key is waited for at exit, whatever -a says.
        {{"-m", "-expect", "--- PASS", "-ERROR", "F\\x41IL", "-timeout", "2.5", "-a", "2"},
         "\t          Expect: `--- PASS`\n\t           Error: `F\\x41IL`\n\t         Timeout: 2.5 s\nok flags=40408\n"},
        {{"-timeout", "20", "-vcc", "9"}, "\t         Timeout: 20.0 s\n" + vcc + "9.0V\n\nInvalid VCC\n", 1},
        {{"-expect"}, "\n-expect needs a text\n" + FAILED, 1},
        {{"-error", "a\\q"}, "\nInvalid text for -error: 'a\\q' (escapes: \\n \\r \\t \\xNN \\\\)\n" + FAILED, 1},
        {{"-timeout", "1.25"}, "\nInvalid timeout: '1.25' (seconds, whole or with one decimal)\n" + FAILED, 1},
        {{"-expects", "x"}, "\nUnknown option: '-expects'\n" + FAILED, 1},
        // A text that could never be seen is refused before the chip is touched.
        {{"-expect", "PASS", "+e"}, "\t          Expect: `PASS`\n" + no_terminal, 1},
        {{"com3", "-det", "-expect", "x", "-d", "0"},
         "\tOnly detect MSP430 chip part ID\n\t          Expect: `x`\n" + no_terminal, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const Captured run = parse(c.arguments);
        EXPECT_EQ(run.text, BANNER + c.text);
        EXPECT_EQ(run.status, c.status);
    }
}

TEST(CommandLine, AdapterListWithoutTheVendorLibraryShowsTheSimulator) {
    if (vendor_library_loaded()) GTEST_SKIP() << "the vendor library is loaded here: -fl lists real adapters";
    const Captured run = parse({"-fl"});
    EXPECT_EQ(run.text, BANNER + "\nFound: SIM -Free\n" + DONE);
    EXPECT_EQ(run.status, DONE_STATUS);
}

// As F1 in the terminal shows it.
TEST(CommandLine, UsageShowsTheValuesInForce) {
    const std::string USAGE = usage();
    ASSERT_TRUE(USAGE.starts_with("\rUsage:    \nKESTO [COMx] [-options] +<actions> [file_name] +r <out_file>\n"));
    EXPECT_TRUE(USAGE.ends_with(serial_port_names_help()));  // the platform's own lines last
    std::string usage = USAGE;
    for (const auto& [from, to] : {std::pair{"(default TIUSB)", "(default HID1)"}, {"default 7,", "default 131,"},
                                   {"(default 3.2V)", "(default 0.0V)"}, {"(default 19200)", "(default 115200)"},
                                   {"to kestolog.txt", "to my.txt"}, {"Always (2)", "Always (1)"}}) {
        ASSERT_NE(usage.find(from), std::string::npos) << from;
        usage.replace(usage.find(from), std::string(from).size(), to);
    }
    const Captured run = parse({"-d", "0", "-FET", "HID1", "-res", "3", "-vcc", "ext", "-baud", "115200", "-l", "my.txt",
                                "-a", "1"}, [] { print_usage(), std::printf("level=%d\n", settings.print_level); });
    EXPECT_EQ(run.text, BANNER + usage + "level=2\n");
}

// F9 parses the command line again over what the first parse and the terminal left.
TEST(CommandLine, EachParseStartsFromTheDefaults) {
    const auto fields = [](std::string& into) {
        return [&into] {
            const RunSettings& s = settings;
            std::ostringstream out;
            out << s.flags << ' ' << s.oem_codepage << ' ' << s.reset_method << ' ' << s.vcc_mv << ' ' << s.fuse_status
                << ' ' << s.interface_mode << ' ' << s.log_fd << ' ' << s.log_name << ' ' << s.baud << ' '
                << s.port_handle << ' ' << s.write_errors << ' ' << s.expect_texts.size() << ' '
                << s.error_texts.size() << ' ' << s.timeout_tenths << ' ' << s.fet_port;
            into = out.str();
        };
    };
    std::string fresh, again;
    parse({"-m"}, fields(fresh));
    parse({"-m"}, fields(again), [] {
        static const char* text = "x";
        RunSettings& s = settings;
        s.flags = ~0u, s.oem_codepage = s.reset_method = s.vcc_mv = s.fuse_status = s.interface_mode = 5;
        s.log_fd = s.write_errors = s.timeout_tenths = 5, s.port_handle = 12345;
        s.log_name = s.baud = text, s.expect_texts = s.error_texts = {text};
        std::strcpy(s.fet_port, text);
    });
    EXPECT_EQ(again, fresh);
}
