// kesto.exe under Wine, driven from Linux: its console on a pseudo-terminal (Wine's console turns
// the keys typed there into console key events), its COM15 mapped to another in the Wine prefix.
// The Windows build's test sets the KESTO_* variables read here, and WINEPREFIX.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "e2e/pty_harness.h"
#include "support/image_bytes.h"
#include "support/run_program.h"

namespace fs = std::filesystem;

namespace {

// Wine starts in a second or two when its server runs already; a busy machine, or a first run
// in a new prefix, can take many times that. A wait that succeeds ends at once.
constexpr int DEADLINE_MS = 30000;

std::string setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Wine's cursor moves over blanks become blanks; other escape sequences and carriage returns go.
std::string screen(const std::string& raw) {
    static const std::regex sequence("\x1b\\][^\a]*\a?|\x1b\\[([^@-~]*)([@-~])|\x1b.?|\r");
    std::string out;
    std::size_t at = 0;
    for (std::sregex_iterator it(raw.begin(), raw.end(), sequence), end; it != end; ++it) {
        out.append(raw, at, static_cast<std::size_t>(it->position()) - at);
        if ((*it)[2] == "C") out.append(std::max(1, std::atoi((*it)[1].str().c_str())), ' ');
        at = static_cast<std::size_t>(it->position() + it->length());
    }
    return out.append(raw, at);
}

struct Folder {
    ScratchFolder dir;
    std::string exe = dir.path("kesto.exe");

    explicit Folder(const std::string& library = "", std::initializer_list<const char*> examples = {}) {
        fs::copy_file(setting("KESTO_EXE"), exe);
        if (!library.empty()) fs::copy_file(library, dir.path("MSP430.dll"));
        for (const std::string name : examples) fs::copy_file(KESTO_SOURCE_DIR "/examples/blink/" + name, dir.path(name));
        // The whole exit status as Windows has it (Wine hands Linux only its low byte, or 1).
        dir.write("status.cmd", "@\"%~dp0kesto.exe\" %*\r\n@echo exit status %errorlevel%\r\n");
    }
};

struct WineConsole : Console {
    WineConsole(const Folder& folder, std::vector<std::string> args, bool through_cmd = false)
        // Wide enough that no message of the program wraps.
        : Console(setting("KESTO_WINE"), with_command(folder, std::move(args), through_cmd), folder.dir.folder(), false,
                  winsize{60, 400, 0, 0}) {}

    static std::vector<std::string> with_command(const Folder& folder, std::vector<std::string> args,
                                                 bool through_cmd) {
        if (through_cmd) args.insert(args.begin(), {"cmd", "/c", folder.dir.path("status.cmd")});
        else args.insert(args.begin(), folder.exe);
        return args;
    }

    std::string shown() const { return screen(text); }
    bool wait_for(const std::string& needle, std::size_t from = 0) {
        const long long end = monotonic_ms() + DEADLINE_MS;
        while (shown().find(needle, from) == std::string::npos)
            if (monotonic_ms() >= end || read_some(master, text, static_cast<int>(end - monotonic_ms())) < 0)
                return shown().find(needle, from) != std::string::npos;
        return true;
    }
    bool wait_exit() { return Console::wait_exit(DEADLINE_MS); }
    // Context switches of every thread of the program, the sleeps it wakes from included.
    long long wakeups() const {
        long long total = 0;
        std::error_code error;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
            std::ifstream status(task.path() / "status");
            for (std::string line; std::getline(status, line);)
                if (line.find("ctxt_switches:") != std::string::npos) total += std::atoll(line.c_str() + line.find(':') + 1);
        }
        return total;
    }
};

std::string run(const Folder& folder, const std::vector<std::string>& args, bool through_cmd = false,
                int* status = nullptr, bool key_at_prompt = false) {
    WineConsole console(folder, args, through_cmd);
    if (key_at_prompt) {
        EXPECT_TRUE(console.wait_for("Press AnyKey to Exit\n")) << console.shown();
        console.type("q");
    }
    EXPECT_TRUE(console.wait_exit()) << console.shown();
    if (status) *status = console.status;
    return console.shown();
}

struct MappedPort {
    SerialLine board;
    std::string link = setting("WINEPREFIX") + "/dosdevices/com15";
    MappedPort() {
        std::error_code ignored;
        fs::remove(link, ignored);
        fs::create_symlink(board.path, link);
    }
    ~MappedPort() {
        std::error_code ignored;
        fs::remove(link, ignored);
    }
};

void expect_shows(const std::string& shown, const std::vector<std::string>& parts) {
    for (const std::string& part : parts) EXPECT_NE(shown.find(part), std::string::npos) << part << " in\n" << shown;
}

class Wine : public ::testing::Test {
protected:
    void SetUp() override {
        if (setting("KESTO_WINE").empty() || setting("KESTO_EXE").empty() || setting("WINEPREFIX").empty())
            GTEST_SKIP() << "runs from the Windows build's tests (make test-windows)";
    }
};

}  // namespace

// The first-argument commands end with EXIT_DONE, which Windows keeps whole as 16384.
TEST_F(Wine, UsageListingsAndTheWholeExitStatus) {
    const Folder folder(setting("KESTO_SIM_DLL"));
    const MappedPort port;
    // -h and -pl end before the options behind them are read, so their exit waits for a key.
    const struct { std::vector<std::string> args; bool key; std::vector<std::string> shown; } cases[] = {
        {{"-h"}, true,
         {"KESTO [COMx] [-options] +<actions> [file_name] +r <out_file>\n",
          "Serial ports: COM1..COM21 as Windows numbers them (see Device Manager,\n", "exit status 16384\n"}},
        // The simulator's parts, from the MSP430.dll beside kesto.exe; -list never waits.
        {{"-list"}, false, {"MSP430G2553", "MSP430F5529", "exit status 16384\n"}},
        // Wine maps the machine's own serial ports to COM1 and COM2; COM15 is the test's.
        {{"-pl"}, true, {"COM15\nDone\n", "exit status 16384\n"}},
    };
    for (const auto& c : cases) expect_shows(run(folder, c.args, true, nullptr, c.key), c.shown);
}

// The second read-out replaces the first file.
TEST_F(Wine, SimulatedPassReadsBackTheImage) {
    const Folder folder("", {"blink.hex", "blink.elf"});
    for (const char* image : {"blink.hex", "blink.elf"}) {
        SCOPED_TRACE(image);
        expect_shows(run(folder, {"-FET", "SIM", "-a", "0", "+ebpv", image, "+r", "out.hex"}, true),
                     {"Identifed: MSP430G2553 ID:9\nProgramm & Verify...wait... -OK\nRead. Wait... -OK\n"
                      "exit status 16384\n"});
        expect_read_back(folder.dir.path("blink.hex"), folder.dir.path("out.hex"), 0xC000, 0xFFFF);
        // No temporary file stays beside the read-out.
        EXPECT_EQ(std::count_if(fs::directory_iterator(folder.dir.folder()), {},
                                [](const auto& entry) { return entry.path().filename().string().starts_with("out.hex"); }),
                  1);
    }
}

TEST_F(Wine, TerminalOnAMappedComPort) {
    const Folder folder;
    auto port = std::make_unique<MappedPort>();
    WineConsole console(folder, {"COM15", "-m", "-a", "0", "-l", "board.log"});
    ASSERT_TRUE(console.wait_for("Dumb Terminal started\n") && console.wait_for("[F10]-Exit [F5]-Reset\n"))
        << console.shown();
    // Idle: a loop that polled the port or the keyboard would wake a thousand times a second.
    const long long before = console.wakeups();
    usleep(2000 * 1000);
    EXPECT_LT(console.wakeups() - before, 100) << "wake-ups in two idle seconds";
    std::size_t from = console.shown().size();
    port->board.send("Hello\r\n\x05");
    EXPECT_TRUE(console.wait_for("Hello\n", from)) << console.shown();
    EXPECT_EQ(port->board.receive(1, DEADLINE_MS), "\x06");
    from = console.shown().size();
    port->board.send("\xcf\xf0\xe8\xe2\xe5\xf2, 1251!\r");  // "Привет" from a board on code page 1251
    EXPECT_TRUE(console.wait_for("Привет, 1251!\n", from)) << console.shown();
    console.type("a");
    EXPECT_EQ(port->board.receive(1, DEADLINE_MS), "a") << console.shown();
    console.type("\x03");  // Ctrl-C: the board's, not a stop
    EXPECT_EQ(port->board.receive(1, DEADLINE_MS), "\x03");
    console.type(KEY_F1);
    EXPECT_TRUE(console.wait_for("Usage:", from)) << console.shown();
    port.reset();
    EXPECT_TRUE(console.wait_for("Port lost, waiting for COM15 to come back... [F10]-Exit\n", from)) << console.shown();
    const long long lost = console.wakeups();
    usleep(1000 * 1000);
    // Four looks a second, each an open that Wine's server answers: some tens of wake-ups, not
    // the thousand of a loop that polls by the millisecond.
    EXPECT_LT(console.wakeups() - lost, 200) << "wake-ups in a second without the port";
    from = console.shown().size();
    port = std::make_unique<MappedPort>();
    EXPECT_TRUE(console.wait_for("Port back: COM15\n", from)) << console.shown();
    console.type("y");
    EXPECT_EQ(port->board.receive(1, DEADLINE_MS), "y");
    console.type(KEY_F10);
    EXPECT_TRUE(console.wait_for("Terminal stopped\n", from)) << console.shown();
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
    EXPECT_EQ(folder.dir.read("board.log"), "Hello\r\nПривет, 1251!\r\n");
}

// The Windows console wait with a time limit and no port drives the board.
TEST_F(Wine, TheBoardDemoOnSim) {
    const Folder folder("", {"blink.elf"});
    WineConsole console(folder, {"SIM", "-FET", "SIM", "-baud", "9600", "-a", "0", "+ebpv", "blink.elf"});
    // Not "answered ACK": a loaded machine can hold Wine past the board's second for it. The
    // mapped port's test sees the ACK itself, with no deadline on the board's side.
    ASSERT_TRUE(console.wait_for("LED on   count 1\n")) << console.shown();
    const std::size_t from = console.shown().size();
    console.type("hi");
    EXPECT_TRUE(console.wait_for("hi", from)) << console.shown();
    console.type(KEY_F5);
    EXPECT_TRUE(console.wait_for("Reset...\n\nKESTO board demo", from)) << console.shown();
    console.type(KEY_F10);
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 0);
}

// The bytes of a pipe are keys as _getch gives them (0 and 68 is F10).
TEST_F(Wine, StandardInputThatIsNoConsole) {
    const Folder folder;
    const MappedPort port;
    const auto wine = [&folder](std::vector<std::string> args, const std::string& input) {
        args.insert(args.begin(), {setting("KESTO_WINE"), folder.exe});
        return run_process([&args, &input, &folder] {
            int keys[2];
            if (pipe(keys) != 0 || chdir(folder.dir.folder().c_str()) != 0) _exit(126);
            write_all(keys[1], input);
            close(keys[1]), dup2(keys[0], STDIN_FILENO);
            exec_program(args);
        }, DEADLINE_MS);
    };
    ProcessRun run = wine({"-h"}, "");
    EXPECT_NE(run.text.find("\r\nPress AnyKey to Exit\r\n"), std::string::npos) << run.text;
    EXPECT_EQ(run.status, 1) << "16384, which Wine hands on as 1";
    run = wine({"COM15", "-m", "-a", "0"}, std::string("ab\0\x44", 4));
    EXPECT_EQ(port.board.receive(2, DEADLINE_MS), "ab");
    EXPECT_NE(run.text.find("\r\n\r\nTerminal stopped\r\n"), std::string::npos) << run.text;
    EXPECT_EQ(run.status, 0);
    // Without a port the end of the input ends the terminal too.
    run = wine({"-m", "-a", "0"}, "");
    EXPECT_NE(run.text.find("Terminal stopped"), std::string::npos) << run.text;
    EXPECT_EQ(run.status, 0);
}

TEST_F(Wine, UnattendedRunsEndWithTheirStatus) {
    const Folder folder;
    MappedPort port;
    const struct { std::string says; const char* timeout; int status; std::string line; } cases[] = {
        {"self-test: PASS", "10", 0, "Expected text seen: \"PASS\""},
        {"self-test: FAIL", "10", 5, "Error text seen: \"FAIL\""},
        {"", "1", 6, "Time-out after 1 s, expected text not seen: \"PASS\""},
    };
    std::string logged;
    for (const auto& c : cases) {
        WineConsole console(folder, {"COM15", "-m", "-a", "2", "-l", "board.log", "-expect", "PASS", "-error", "FAIL",
                                     "-timeout", c.timeout});
        ASSERT_TRUE(console.wait_for("[F10]-Exit [F5]-Reset\n")) << console.shown();
        if (!c.says.empty()) port.board.send(c.says + "\r");
        ASSERT_TRUE(console.wait_exit()) << console.shown();
        EXPECT_EQ(console.status, c.status) << console.shown();
        EXPECT_NE(console.shown().find(c.line + "\n"), std::string::npos) << console.shown();
        logged += (c.says.empty() ? "" : c.says + "\r\n") + "\r\n" + c.line + "\r\n";
    }
    EXPECT_EQ(folder.dir.read("board.log"), logged);
}

TEST_F(Wine, VendorLibraryMissingOrOfTheWrongKind) {
    ScratchFolder spare;
    const std::string not_a_library = spare.write("text.dll", "not a library\n");
    struct Case { std::string library, reason, tail = ""; };  // the reason's end, when its middle varies
    std::vector<Case> cases = {
        {"", "it was found neither beside kesto.exe nor on the search path (error 126)"},
        // The system's words between the parentheses are Wine's here.
        {setting("KESTO_PARTIAL_DLL"), "it lacks MSP430_Secure (", "(error 127))"},
        {not_a_library, "MSP430.dll is not a library for this kesto.exe (error 193)"},
    };
    if (!setting("KESTO_OTHER_SIM_DLL").empty()) {
        const bool own_64 = setting("KESTO_EXE_BITS") == "64";
        cases.push_back({setting("KESTO_OTHER_SIM_DLL"),
                         std::string("MSP430.dll is a ") + (own_64 ? "32-bit library and this kesto.exe is 64-bit" :
                         "64-bit library and this kesto.exe is 32-bit") + " (error 193); use " +
                         (own_64 ? "kesto32.exe, the 32-bit build" : "kesto.exe, the 64-bit build")});
    }
    for (const Case& c : cases) {
        const Folder folder(c.library);
        int status = -1;
        expect_shows(run(folder, {"-a", "0", "+e"}, false, &status),
                     {"Initializing FET -Cannot load the FET library MSP430.dll: ", c.reason,
                      (c.tail.empty() ? c.reason : c.tail) + ". Put the vendor's MSP430.dll beside kesto or on the "
                      "library path, or use -FET SIM for the simulated adapter\n"});
        EXPECT_EQ(status, 1);
    }
}

// On 32-bit Windows the library's calls are stdcall, exported undecorated. Wine's console shows a
// tab as blanks.
TEST_F(Wine, BothGenerationsOfTheLibrary) {
    const struct { const char* library; std::string trace, first, id, fram_id, update; } generations[] = {
        {"KESTO_SIM_DLL", "FET library: current generation (MSP430_OpenDevice)\nInitializing FET -OK", "0", "8", "19",
         "Firmware update: 100%\nFirmware update: restarting the adapter\nFirmware update: done\n"
         "Identifed: MSP430G2553 ID:8\nexit status 16384\n"},
        {"KESTO_SIM_ORIGINAL_DLL", "FET library: original generation (MSP430_Identify)\nInitializing FET -OK", "1", "9",
         "20", "This FET library cannot update the adapter's firmware (it has no MSP430_FET_FwUpdate); -update needs "
         "the library's current generation\nexit status 1\n"},
    };
    for (const auto& g : generations) {
        SCOPED_TRACE(g.library);
        const Folder folder(setting(g.library), {"blink.hex"});
        folder.dir.write("fram.txt", "@4000\n01 02\n@FFFE\n00 40\n@10000\nA5 5A\n@43FFF\nEE\nq\n");
        const struct { std::vector<std::string> args; std::vector<std::string> shown; } cases[] = {
            {{"-a", "0", "-d", "3", "+ebpv", "blink.hex", "+r", "out.hex"},
             {g.trace, "Identifed: MSP430G2553 ID:" + g.id + "\n", "Programm & Verify...wait... -OK\nRead. Wait... -OK\n",
              "exit status 16384\n"}},
            {{"-list"}, {"ID:" + g.first + "   MSP430F1232 ", "ID:" + g.fram_id + "  MSP430FR5994 ", "exit status 16384\n"}},
            {{"-FET", "TIUSB:FR5994", "-a", "0", "-info", "+ebpv", "fram.txt", "+r", "fram.hex"},
             {"     Device: MSP430FR5994 ID:" + g.fram_id + "\n      Flash: 256K ", "(4000..43FFF)\n       Info: 512B ",
              "Read. Wait... -OK\nexit status 16384\n"}},
            {{"-FET", "OLDFW", "-a", "0", "+e"},
             {"Version conflict between the DLL and USB FET Firmware\nRun again with -update ", "exit status 1\n"}},
            {{"-FET", "OLDFW", "-a", "0", "-update", "+e"}, {g.update}},
        };
        for (const auto& c : cases) expect_shows(run(folder, c.args, true), c.shown);
        expect_read_back(folder.dir.path("blink.hex"), folder.dir.path("out.hex"), 0xC000, 0xFFFF);
        expect_read_back(folder.dir.path("fram.txt"), folder.dir.path("fram.hex"), 0x4000, 0x43FFF);
    }
}

// A library writes only 4 bytes through an out-parameter; on 32-bit Windows results come in a
// 32-bit register.
TEST_F(Wine, ResultsAreReadAsThirtyTwoBits) {
    const Folder folder(setting("KESTO_GARBAGE_DLL"));
    const struct { std::vector<std::string> args; std::string shown; } cases[] = {
        {{"-a", "0", "-d", "3", "+e"}, "Initializing FET -OK. DLL Version:30301\nSet Vcc -OK\nIdentifed: MSP430G2553 "
         "ID:8\nErase All -OK\n"},
        {{"-a", "0", "-d", "3", "-FET", "OLDFW", "-update", "+e"},
         "DLL Version:-1\nVersion conflict between the DLL and USB FET Firmware\nFirmware update: 25%\n"
         "Firmware update: 50%\nFirmware update: 75%\nFirmware update: 100%\nFirmware update: done\n"},
    };
    for (const auto& c : cases) expect_shows(run(folder, c.args, true), {c.shown, "exit status 16384\n"});
}
