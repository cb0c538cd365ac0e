#include "driver/command_line.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "driver/run_settings.h"
#include "driver/usage_text.h"
#include "fet/vendor_library.h"
#include "platform/serial_device.h"
#include "support/capture.h"

namespace {

const std::string BANNER = "KESTO 1.0  MSP430 programmer and serial terminal\n";
// exit_program with the default anykey_mode 2: the prompt, and the bells after a failure.
const std::string DONE = "\nPress AnyKey to Exit\n";
const std::string FAILED = DONE + "\a\a\a";
// A command line that was accepted: parse_command_line returned.
constexpr int ACCEPTED = CAPTURE_RETURNED;

// Parses the arguments in a fresh child; when the parse returns, `report` prints the settings
// the test looks at.
Captured parse(const std::vector<std::string>& arguments, const std::function<void()>& report = {}) {
    return capture_output([&] {
        settings = RunSettings{};
        std::vector<std::string> texts{"kesto"};
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& text : texts) argv.push_back(text.data());
        argv.push_back(nullptr);
        parse_command_line(static_cast<int>(texts.size()), argv.data());
        if (report) report();
    });
}

void show_flags() { std::printf("flags=%05x\n", settings.flags); }
void show_vcc() { std::printf("vcc=%d flags=%05x\n", settings.vcc_mv, settings.flags); }
void show_reset() { std::printf("reset=%d\n", settings.reset_method); }
void show_level() { std::printf("level=%d\n", settings.print_level); }
void show_files() {
    std::printf("program=[%s] read_out=[%s] flags=%05x\n", settings.program_file.c_str(),
                settings.read_out_file.c_str(), settings.flags);
}

#define EXPECT_RUN(run, expected_text, expected_status) \
    do {                                                \
        const Captured& result_ = (run);                \
        EXPECT_FALSE(result_.timed_out);                \
        EXPECT_EQ(result_.text, expected_text);         \
        EXPECT_EQ(result_.status, expected_status);     \
    } while (0)

}  // namespace

TEST(CommandLine, NoArgumentShowsBannerAndUsageAndFails) {
    EXPECT_RUN(parse({}), BANNER + expected_usage() + FAILED, 1);
}

TEST(CommandLine, DefaultsAreStoredBeforeTheFirstArgument) {
    EXPECT_RUN(parse({"-f"},
                     [] {
                         settings.flags |= FLAG_PRESERVE_RAM;
                         std::printf("flags=%05x oem=%d reset=%d vcc=%d fuse=%d sbw=%d log=%d:%s baud=%s fet=%s "
                                     "handle=%ld errors=%d level=%d anykey=%d\n",
                                     settings.flags, settings.oem_codepage, settings.reset_method, settings.vcc_mv,
                                     settings.fuse_status, settings.interface_mode, settings.log_fd,
                                     settings.log_name, settings.baud, settings.fet_port,
                                     static_cast<long>(settings.port_handle), settings.write_errors,
                                     settings.print_level, settings.anykey_mode);
                     }),
               BANNER + "\tFast Programming: RAM Content not preserved\n" +
                   "flags=40018 oem=0 reset=7 vcc=3200 fuse=999 sbw=-1 log=-1:kestolog.txt baud=19200 fet=TIUSB "
                   "handle=0 errors=0 level=2 anykey=2\n",
               ACCEPTED);
}

// --- Commands of the first argument, and the same words anywhere else.

TEST(CommandLine, HelpWordsFirstShowTheUsageAndEndDone) {
    for (const char* word : {"-help", "-H", "-h", "?x", "?"}) {
        SCOPED_TRACE(word);
        EXPECT_RUN(parse({word, "-a", "0"}), BANNER + expected_usage() + DONE, 0);
    }
}

// Points every COM name at a path that does not exist, except COMn at a fresh pseudo-terminal,
// so a scan or the port listing sees exactly one port whatever the machine has.
class OnePort {
  public:
    explicit OnePort(int n) {
        int master = -1, slave = -1;
        char name[128] = "";
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            master_ = master;
            ::close(slave);
            path = name;
        }
        for (int i = COM_PORT_FIRST; i <= COM_PORT_LAST; ++i)
            serial_device_set_com_path(i, i == n ? path.c_str() : "/nonexistent/kesto-test-port");
    }
    ~OnePort() {
        for (int i = COM_PORT_FIRST; i <= COM_PORT_LAST; ++i) serial_device_set_com_path(i, nullptr);
        if (master_ >= 0) ::close(master_);
    }
    std::string path;

  private:
    int master_ = -1;
};

TEST(CommandLine, PortListFirstShowsTheOpenablePorts) {
    OnePort port(13);
    ASSERT_FALSE(port.path.empty());
    EXPECT_RUN(parse({"-pl"}), BANNER + "\nFound: COM13  (" + port.path + ")\nDone\n" + DONE, 0);
    // Ends before "-a 0" is read, so the key prompt still shows.
    EXPECT_RUN(parse({"-PLx", "-a", "0"}), BANNER + "\nFound: COM13  (" + port.path + ")\nDone\n" + DONE, 0);
}

// Without the vendor's library the listings ask the simulated adapter.
TEST(CommandLine, DeviceListFirstEndsAtOnceWithoutAKeyWait) {
    if (vendor_library_loaded()) GTEST_SKIP() << "a vendor library is installed";
    const std::string head = BANNER + "\nThe devices supported by the driver:\nID:1   ";
    for (const char* word : {"-list", "-LIST"}) {
        SCOPED_TRACE(word);
        const Captured run = parse({word, "-a", "2"});
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.text.substr(0, head.size()), head);
        EXPECT_NE(run.text.find("ID:2   "), std::string::npos);
        EXPECT_EQ(run.text.find("Press AnyKey"), std::string::npos);
        EXPECT_EQ(run.status, 0);
    }
}

TEST(CommandLine, AdapterListFirstEndsDone) {
    if (vendor_library_loaded()) GTEST_SKIP() << "a vendor library is installed";
    EXPECT_RUN(parse({"-fl"}), BANNER + "\nFound: SIM -Free\n" + DONE, 0);
    EXPECT_RUN(parse({"-FLx", "-a", "0"}), BANNER + "\nFound: SIM -Free\n" + DONE, 0);
}

TEST(CommandLine, CommandWordsInLaterPositionsAreOrdinaryArguments) {
    EXPECT_RUN(parse({"-f", "-h"}),
               BANNER + "\tFast Programming: RAM Content not preserved\n\nUnknown option: '-h'\n" + FAILED, 1);
    EXPECT_RUN(parse({"-f", "-list"}),
               BANNER + "\tFast Programming: RAM Content not preserved\n\nUnknown option: '-list'\n" + FAILED, 1);
    EXPECT_RUN(parse({"-a", "1", "-pl"}), BANNER + "\nUnknown option: '-pl'\n" + FAILED, 1);
    // "-fl" later is "-f"; "?" later is passed over.
    EXPECT_RUN(parse({"-d", "2", "-fl", "?"}),
               BANNER + "\t     Debug level: 02\n\tFast Programming: RAM Content not preserved\n", ACCEPTED);
}

// --- -vcc

TEST(CommandLine, VccVoltagesInRangeAreStoredAndEchoed) {
    struct Case {
        const char* value;
        const char* echo;
        int mv;
    };
    for (const Case& c : {Case{"3.3", "3.3V", 3300}, Case{"3", "3.0V", 3000}, Case{"1.8", "1.8V", 1800},
                          Case{"3.6", "3.6V", 3600}, Case{"2.15", "3.5V", 3500}}) {
        SCOPED_TRACE(c.value);
        EXPECT_RUN(parse({"-vcc", c.value}, show_vcc),
                   BANNER + "\t             Vcc: " + c.echo + "\n" + "vcc=" + std::to_string(c.mv) + " flags=40018\n",
                   ACCEPTED);
    }
}

TEST(CommandLine, VccVoltagesOutOfRangeAreEchoedThenRefused) {
    struct Case {
        const char* value;
        const char* echo;
    };
    for (const Case& c : {Case{"1.7", "1.7V"}, Case{"3.7", "3.7V"}, Case{"33", "33.0V"}, Case{"EXT", "0.0V"},
                          Case{"", "0.0V"}}) {
        SCOPED_TRACE(c.value);
        EXPECT_RUN(parse({"-vcc", c.value}),
                   BANNER + "\t             Vcc: " + c.echo + "\n\nInvalid VCC\n" + FAILED, 1);
    }
}

TEST(CommandLine, VccNumberThatWouldWrapIntoRangeIsRefused) {
    // 3000 + 100 x 1073741824 is 3000 modulo 2^32; reckoned in 32 bits it would pass as 3.0V.
    EXPECT_RUN(parse({"-vcc", "3.1073741824"}), BANNER + "\t             Vcc: 3.0V\n\nInvalid VCC\n" + FAILED, 1);
}

TEST(CommandLine, VccExternalKeepsItsFlagUnderALaterVoltage) {
    EXPECT_RUN(parse({"-vcc", "ext"}, show_vcc), BANNER + "\t             Vcc: External\nvcc=0 flags=40038\n",
               ACCEPTED);
    EXPECT_RUN(parse({"-vcc", "ext", "-vcc", "3.0"}, show_vcc),
               BANNER + "\t             Vcc: External\n\t             Vcc: 3.0V\nvcc=3000 flags=40038\n", ACCEPTED);
}

TEST(CommandLine, VccWithoutAValueIsRefused) {
    const std::string refused = BANNER + "\nInvalid VCC option\n" + FAILED;
    EXPECT_RUN(parse({"-vcc"}), refused, 1);
    EXPECT_RUN(parse({"-vcc", "+p", "a.hex"}), refused, 1);
    EXPECT_RUN(parse({"-vcc", "-f"}), refused, 1);
    // Unconditional: shown even with the echoes silenced.
    EXPECT_RUN(parse({"-d", "0", "-vcc"}), BANNER + "\nInvalid VCC option\n" + FAILED, 1);
}

// --- -res

TEST(CommandLine, ResetValueKeepsTheLowFourBitsAndMarksOneToSix) {
    struct Case {
        const char* value;
        const char* echo;
        int stored;
    };
    for (const Case& c : {Case{"3", "131", 131}, Case{"0", "00", 0}, Case{"7", "07", 7}, Case{"23", "07", 7},
                          Case{"17", "129", 129}, Case{"2", "130", 130}}) {
        SCOPED_TRACE(c.value);
        EXPECT_RUN(parse({"-res", c.value}, show_reset),
                   BANNER + "\t     Reset Metod: " + c.echo + "\nreset=" + std::to_string(c.stored) + "\n", ACCEPTED);
    }
    EXPECT_RUN(parse({"-reset", "4"}, show_reset), BANNER + "\t     Reset Metod: 132\nreset=132\n", ACCEPTED);
}

TEST(CommandLine, PowerOffActionZeroesTheResetBeforeAndAfter) {
    EXPECT_RUN(parse({"+eo", "a.hex", "-res", "3"}, show_reset),
               BANNER + "\t        Filename:`a.hex`\n\t     Reset Metod: 00\nreset=0\n", ACCEPTED);
    EXPECT_RUN(parse({"-res", "3", "+o"}, show_reset), BANNER + "\t     Reset Metod: 131\nreset=0\n", ACCEPTED);
}

TEST(CommandLine, ResetWithoutAValueIsReportedWhateverTheLevel) {
    EXPECT_RUN(parse({"-res"}), BANNER + "\nUnknown option: '-res'\n" + FAILED, 1);
    EXPECT_RUN(parse({"-d", "0", "-reset", "-f"}), BANNER + "\nUnknown option: '-reset'\n" + FAILED, 1);
}

// --- -sbw

TEST(CommandLine, InterfaceSelection) {
    const std::string head = BANNER + "\t       Interface: ";
    EXPECT_RUN(parse({"-sbw"}), head + "Spy-bi-Wire\n", ACCEPTED);
    EXPECT_RUN(parse({"-sbw", "0"}), head + "4-wire JTAG\n", ACCEPTED);
    EXPECT_RUN(parse({"-sbw", "x"}), head + "4-wire JTAG\n", ACCEPTED);
    EXPECT_RUN(parse({"-sbw", "2"}), head + "SBW accessed by 4-wire JTAG\n", ACCEPTED);
    EXPECT_RUN(parse({"-sbw", "-f"}), head + "Spy-bi-Wire\n\tFast Programming: RAM Content not preserved\n",
               ACCEPTED);
    EXPECT_RUN(parse({"-sbw", "3"}), head + "\nInvalid SBW option\n" + FAILED, 1);
    // "-1" is refused as a value and then read as an option of its own.
    EXPECT_RUN(parse({"-sbw", "-1"}), head + "Spy-bi-Wire\n\nUnknown option: '-1'\n" + FAILED, 1);
    EXPECT_RUN(parse({"-sbw", "4294967297"}), head + "\nInvalid SBW option\n" + FAILED, 1);
}

// --- -d and -a

TEST(CommandLine, DebugLevelIsStoredThenEchoedUnderIt) {
    EXPECT_RUN(parse({"-d"}, show_level), BANNER + "\t     Debug level: 04\nlevel=4\n", ACCEPTED);
    EXPECT_RUN(parse({"-d", "3"}, show_level), BANNER + "\t     Debug level: 03\nlevel=3\n", ACCEPTED);
    EXPECT_RUN(parse({"-d", "1", "-f"}, show_level), BANNER + "\t     Debug level: 01\nlevel=1\n", ACCEPTED);
    EXPECT_RUN(parse({"-d", "0", "-f", "-FET", "HID1"}, show_level), BANNER + "level=0\n", ACCEPTED);
}

TEST(CommandLine, DebugLevelZeroSilencesEchoesButNotTheErrors) {
    // The unknown option is reported at level 2 only; the prompt is level 0.
    EXPECT_RUN(parse({"-d", "0", "-x"}), BANNER + FAILED, 1);
    EXPECT_RUN(parse({"-d", "1", "-x"}), BANNER + "\t     Debug level: 01\n" + FAILED, 1);
    EXPECT_RUN(parse({"-d", "0", "+pv"}), BANNER + "Filename not present\n" + FAILED, 2);
    EXPECT_RUN(parse({"-d", "0", "-vcc", "1.7"}), BANNER + "\nInvalid VCC\n" + FAILED, 1);
}

TEST(CommandLine, DebugTakesAnActionWordAsItsValue) {
    EXPECT_RUN(parse({"-d", "+pv"}, [] { std::printf("level=%d flags=%05x\n", settings.print_level, settings.flags); }),
               BANNER + "level=0 flags=40018\n", ACCEPTED);
}

TEST(CommandLine, AnyKeyModeDecidesThePrompt) {
    EXPECT_RUN(parse({"-a", "0", "-x"}), BANNER + "\nUnknown option: '-x'\n", 1);
    EXPECT_RUN(parse({"-a", "-x"}), BANNER + "\nUnknown option: '-x'\n", 1);  // no value: 0
    EXPECT_RUN(parse({"-a", "1", "+p"}), BANNER + "Filename not present\n" + FAILED, 2);
    EXPECT_RUN(parse({"-a", "5", "-x"}), BANNER + "\nUnknown option: '-x'\n" + FAILED, 1);
}

// --- -FET

TEST(CommandLine, FetPortValueRules) {
    auto show_fet = [] { std::printf("fet=[%s]\n", settings.fet_port); };
    EXPECT_RUN(parse({"-FET", "HID1"}, show_fet), BANNER + "\t   FET Port name: HID1\nfet=[HID1]\n", ACCEPTED);
    EXPECT_RUN(parse({"-fet", "sim"}, show_fet), BANNER + "\t   FET Port name: sim\nfet=[sim]\n", ACCEPTED);
    EXPECT_RUN(parse({"-FET", "HID1", "-FET"}, show_fet),
               BANNER + "\t   FET Port name: HID1\n\t   FET Port name: TIUSB\nfet=[TIUSB]\n", ACCEPTED);
    EXPECT_RUN(parse({"-FET", "HID1", "-FET", "-f"}, show_fet),
               BANNER + "\t   FET Port name: HID1\n\t   FET Port name: TIUSB\n" +
                   "\tFast Programming: RAM Content not preserved\nfet=[TIUSB]\n",
               ACCEPTED);
    EXPECT_RUN(parse({"-FET", "+x"}, show_fet), BANNER + "\t   FET Port name: +x\nfet=[+x]\n", ACCEPTED);
}

TEST(CommandLine, FetPortNameOf127IsKeptWholeAnd128IsRefused) {
    const std::string longest = "/dev/serial/by-id/" + std::string(127 - 18, 'x');
    ASSERT_EQ(longest.size(), 127u);
    EXPECT_RUN(parse({"-FET", longest}, [] { std::printf("fet=[%s]\n", settings.fet_port); }),
               BANNER + "\t   FET Port name: " + longest + "\nfet=[" + longest + "]\n", ACCEPTED);
    EXPECT_RUN(parse({"-FET", longest + "y"}), BANNER + "\nInvalid FET port name\n" + FAILED, 1);
}

// --- -l and -baud

TEST(CommandLine, LogOption) {
    auto show_log = [] { std::printf("log=%d:%s\n", settings.log_fd, settings.log_name); };
    EXPECT_RUN(parse({"-l"}, show_log), BANNER + "\t   Log output to:`kestolog.txt`\nlog=0:kestolog.txt\n", ACCEPTED);
    EXPECT_RUN(parse({"-L", "my.txt"}, show_log), BANNER + "\t   Log output to:`my.txt`\nlog=0:my.txt\n", ACCEPTED);
    EXPECT_RUN(parse({"-l", "+p"}), BANNER + "\t   Log output to:`kestolog.txt`\nFilename not present\n" + FAILED, 2);
    EXPECT_RUN(parse({"-log", "my.txt"}), BANNER + "\nUnknown option: '-log'\n" + FAILED, 1);
}

TEST(CommandLine, BaudTakesAnyTextButMustHaveOne) {
    auto show_baud = [] { std::printf("baud=%s\n", settings.baud); };
    EXPECT_RUN(parse({"-baud", "115200"}, show_baud), BANNER + "baud=115200\n", ACCEPTED);
    EXPECT_RUN(parse({"-BAUD", "-x"}, show_baud), BANNER + "baud=-x\n", ACCEPTED);
    EXPECT_RUN(parse({"-baud"}), BANNER + "\nUnknown option: '-baud'\n" + FAILED, 1);
    EXPECT_RUN(parse({"-bau", "9600"}), BANNER + "\nUnknown option: '-bau'\n" + FAILED, 1);
}

// --- The switches without a value, and words caught by an earlier prefix entry.

TEST(CommandLine, SwitchesSetTheirFlagsAndEcho) {
    EXPECT_RUN(parse({"-info", "-ia"}, show_flags), BANNER + "flags=44019\n", ACCEPTED);
    EXPECT_RUN(parse({"-OEM", "-crlf", "--DLL"}, [] { std::printf("oem=%d flags=%05x\n", settings.oem_codepage,
                                                                  settings.flags); }),
               BANNER + "\tSelected OEM Codepage\n\tCR and LF transparent\n\tDLL Version check disabled\n" +
                   "oem=1 flags=0001a\n",
               ACCEPTED);
    EXPECT_RUN(parse({"-oemx"}), BANNER + "\nUnknown option: '-oemx'\n" + FAILED, 1);
}

TEST(CommandLine, PrefixEntriesCatchLongerWords) {
    EXPECT_RUN(parse({"-fast"}, show_flags), BANNER + "\tFast Programming: RAM Content not preserved\nflags=40010\n",
               ACCEPTED);
    EXPECT_RUN(parse({"-detect"}, show_flags), BANNER + "\tOnly detect MSP430 chip part ID\nflags=40099\n", ACCEPTED);
    EXPECT_RUN(parse({"-debug", "3"}, show_level), BANNER + "\t     Debug level: 03\nlevel=3\n", ACCEPTED);
    EXPECT_RUN(parse({"-dll"}, show_level), BANNER + "\t     Debug level: 04\nlevel=4\n", ACCEPTED);
    EXPECT_RUN(parse({"-all", "-x"}), BANNER + "\nUnknown option: '-x'\n", 1);
    EXPECT_RUN(parse({"-manual"}, show_flags), BANNER + "flags=40408\n", ACCEPTED);
}

TEST(CommandLine, ManualAndDetectOnlyInEitherOrder) {
    EXPECT_RUN(parse({"-m", "-det"}, show_flags), BANNER + "\tOnly detect MSP430 chip part ID\nflags=40499\n",
               ACCEPTED);
    EXPECT_RUN(parse({"-det", "-m"}, show_flags), BANNER + "\tOnly detect MSP430 chip part ID\nflags=40489\n",
               ACCEPTED);
}

// --- Action words

TEST(CommandLine, ActionLettersWithTheirImage) {
    // Given first, the word is read as typed: only a stored port name is upper-cased.
    EXPECT_RUN(parse({"+ebpv", "test.hex"}, show_files),
               BANNER + "\t        Filename:`test.hex`\nprogram=[test.hex] read_out=[] flags=40b58\n", ACCEPTED);
    EXPECT_RUN(parse({"+ixo", "a.txt"}, show_files),
               BANNER + "\t        Filename:`a.txt`\nprogram=[a.txt] read_out=[] flags=4301c\n", ACCEPTED);
    EXPECT_RUN(parse({"+ebpv"}), BANNER + "Filename not present\n" + FAILED, 2);
    EXPECT_RUN(parse({"+pv", "-f"}), BANNER + "Filename not present\n" + FAILED, 2);
}

TEST(CommandLine, ImageNameMustNotBeginWithAPunctuationMark) {
    for (const char* name : {"./a.hex", "/tmp/a.hex", "-a.hex", " a.hex", "", "\xc3\xa4.hex"}) {
        SCOPED_TRACE(name);
        EXPECT_RUN(parse({"+p", name}), BANNER + "Filename not present\n" + FAILED, 2);
    }
    EXPECT_RUN(parse({"+p", "0.hex"}, show_files),
               BANNER + "\t        Filename:`0.hex`\nprogram=[0.hex] read_out=[] flags=40118\n", ACCEPTED);
}

TEST(CommandLine, ReadOutNameMayBeginWithAnyPrintable) {
    EXPECT_RUN(parse({"+r", "./out.txt"}, show_files),
               BANNER + "\t    Out Filename:`./out.txt`\nprogram=[] read_out=[./out.txt] flags=60018\n", ACCEPTED);
    EXPECT_RUN(parse({"+R", "+out"}, show_files),
               BANNER + "\t    Out Filename:`+out`\nprogram=[] read_out=[+out] flags=60018\n", ACCEPTED);
    EXPECT_RUN(parse({"+r"}), BANNER + "Out Filename not present\n" + FAILED, 2);
    EXPECT_RUN(parse({"+r", "-f"}), BANNER + "Out Filename not present\n" + FAILED, 2);
    EXPECT_RUN(parse({"+r", " out"}), BANNER + "Out Filename not present\n" + FAILED, 2);
    // An earlier name stands.
    EXPECT_RUN(parse({"+r", "a.txt", "+r", "-x"}, show_files),
               BANNER + "\t    Out Filename:`a.txt`\nprogram=[] read_out=[a.txt] flags=60018\n", ACCEPTED);
}

TEST(CommandLine, LongFileNamesAreKeptWhole) {
    const std::string image = std::string(200, 'i') + ".hex";
    const std::string out = "/tmp/" + std::string(200, 'o') + ".hex";
    EXPECT_RUN(parse({"+p", image, "+r", out}, show_files),
               BANNER + "\t        Filename:`" + image + "`\n\t    Out Filename:`" + out + "`\nprogram=[" + image +
                   "] read_out=[" + out + "] flags=60118\n",
               ACCEPTED);
}

TEST(CommandLine, FuseNeedsTheWholeWord) {
    EXPECT_RUN(parse({"+f"}, show_flags), BANNER + "flags=40018\n", ACCEPTED);
    EXPECT_RUN(parse({"+fu"}), BANNER + "Invaild Switch: +fu" + FAILED, 2);
    EXPECT_RUN(parse({"+fusep", "a.hex"}, show_files),
               BANNER + "\t        Filename:`a.hex`\n\t         Warning: Blow Fuse!\nprogram=[a.hex] read_out=[] "
                        "flags=48118\n",
               ACCEPTED);
    EXPECT_RUN(parse({"+fuse"}, show_flags), BANNER + "\t         Warning: Blow Fuse!\nflags=48018\n", ACCEPTED);
}

TEST(CommandLine, UnknownActionLetterEndsAfterTheNameEcho) {
    EXPECT_RUN(parse({"+q", "a.hex"}), BANNER + "\t        Filename:`a.hex`\nInvaild Switch: +q" + FAILED, 2);
    EXPECT_RUN(parse({"+eP", "a.hex"}), BANNER + "\t        Filename:`a.hex`\nInvaild Switch: +eP" + FAILED, 2);
    EXPECT_RUN(parse({"+rb", "a.hex"}), BANNER + "\t        Filename:`a.hex`\nInvaild Switch: +rb" + FAILED, 2);
    // Reading stops at a blank: the rest of the word is never looked at.
    EXPECT_RUN(parse({"+e q"}, show_flags), BANNER + "flags=40818\n", ACCEPTED);
}

TEST(CommandLine, AnImageNameTakenEarlierServesLaterActions) {
    EXPECT_RUN(parse({"+e", "a.hex", "+pv"}, show_files),
               BANNER + "\t        Filename:`a.hex`\nprogram=[a.hex] read_out=[] flags=40b18\n", ACCEPTED);
}

TEST(CommandLine, TheArgumentBehindAnActionWordIsNeverRead) {
    EXPECT_RUN(parse({"+e", "+p", "x.hex"}, show_files), BANNER + "program=[] read_out=[] flags=40818\n", ACCEPTED);
    EXPECT_RUN(parse({"+e", "-m"}, show_flags), BANNER + "flags=40818\n", ACCEPTED);
    EXPECT_RUN(parse({"+e", "+r", "out.txt"}, show_files), BANNER + "program=[] read_out=[] flags=40818\n", ACCEPTED);
    EXPECT_RUN(parse({"+e", "-x", "-y"}), BANNER + "\nUnknown option: '-y'\n" + FAILED, 1);
}

TEST(CommandLine, OtherWordsArePassedOver) {
    EXPECT_RUN(parse({"hello", "", "world", "-f"}, show_flags),
               BANNER + "\tFast Programming: RAM Content not preserved\nflags=40010\n", ACCEPTED);
}

// --- The port word and the closing echo

TEST(CommandLine, PortWordIsStoredUpperCaseAndEchoedLast) {
    EXPECT_RUN(parse({"com3", "-f"}, show_flags),
               BANNER + "\tFast Programming: RAM Content not preserved\n" +
                   "\t     Serial Port: COM3    Baud: 19200\nflags=40410\n",
               ACCEPTED);
    EXPECT_RUN(parse({"Com12", "-baud", "115200"}), BANNER + "\t     Serial Port: \\\\.\\COM12    Baud: 115200\n",
               ACCEPTED);
    EXPECT_RUN(parse({"com3", "-d", "0"}, show_flags), BANNER + "flags=40418\n", ACCEPTED);
    EXPECT_RUN(parse({"-m"}, show_flags), BANNER + "flags=40408\n", ACCEPTED);
}

TEST(CommandLine, DevicePathIsKeptAsTyped) {
    EXPECT_RUN(parse({"/dev/serial/by-id/usb-TI_Board-if00", "+p", "a.hex"}),
               BANNER + "\t        Filename:`a.hex`\n\t     Serial Port: /dev/serial/by-id/usb-TI_Board-if00    Baud: 19200\n",
               ACCEPTED);
    const std::string longest = "/dev/" + std::string(122, 'p');
    EXPECT_RUN(parse({longest}), BANNER + "\t     Serial Port: " + longest + "    Baud: 19200\n", ACCEPTED);
}

TEST(CommandLine, AutoLeavesTheFoundPortOpen) {
    OnePort port(7);
    ASSERT_FALSE(port.path.empty());
    EXPECT_RUN(parse({"auto", "-a", "0"}, [] { std::printf("open=%d\n", settings.port_handle > 0); }),
               BANNER + "\t     Serial Port: COM7    Baud: 19200\nopen=1\n", ACCEPTED);
}

TEST(CommandLine, AutoWithoutAPortEndsBeforeTheOptions) {
    OnePort port(0);
    EXPECT_RUN(parse({"AUTO", "-a", "0", "-x"}),
               BANNER + "Can't find COM Port\n" + "  No device is there as COM1..COM21; give the device path first\n" +
                   "  (ls /dev/serial/by-id shows what is plugged in).\n" + FAILED,
               2);
}
