// kesto-board run as a user runs it, on a console pseudo-terminal.
#include <gtest/gtest.h>

#include "e2e/pty_harness.h"
#include "support/image_bytes.h"
#include "support/blink_example.h"

namespace fs = std::filesystem;

namespace {

const std::string BOARD = KESTO_BOARD_BINARY;
const std::string REFUSAL = "this system does not let this user have a private user and mount namespace";

ProcessRun run_board(std::vector<std::string> args, int deadline_ms = 10000) {
    Console console(BOARD, std::move(args));
    const bool ended = console.wait_exit(deadline_ms);
    return {console.text, ended ? console.status : -1};
}

// Empty when kesto-board can make its namespaces here, else why not.
const std::string& namespaces_refused() {
    static const std::string why = [] {
        const ProcessRun run = run_board({"--", "true"});
        return run.status == 2 && run.text.find(REFUSAL) != std::string::npos ? run.text : std::string();
    }();
    return why;
}

#define SKIP_WITHOUT_NAMESPACES()                                                                   \
    if (!namespaces_refused().empty()) GTEST_SKIP() << "user namespaces refused here: " << namespaces_refused()

}  // namespace

TEST(KestoBoard, TheCommandSeesALaunchPadAndItsStatusIsTheBoards) {
    SKIP_WITHOUT_NAMESPACES();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"--", "sh", "-c",
          "cat /sys/class/tty/ttyACM0/device/modalias /sys/class/tty/ttyACM1/device/modalias "
          "/sys/class/tty/ttyACM0/device/bInterfaceNumber /sys/class/tty/ttyACM1/device/bInterfaceNumber; "
          "ls -l /dev/ttyACM0 /dev/ttyACM1 | cut -c1-3; ls -1 /sys/class/tty; echo null > /dev/null && echo fine"}, 0,
         "usb:v2047p0013d0100dc02dsc00dp00ic02isc02ip01in00\r\nusb:v2047p0013d0100dc02dsc00dp00ic02isc02ip01in02\r\n"
         "00\r\n02\r\ncrw\r\ncrw\r\nttyACM0\r\nttyACM1\r\nfine\r\n"},
        {{"--", "sh", "-c", "exit 0"}, 0, ""},
        {{"--", "sh", "-c", "exit 42"}, 42, ""},
        {{"--", "sh", "-c", "kill -KILL $$"}, 128 + SIGKILL, ""},
        {{"--", "/nonexistent/command"}, 127, "kesto-board: cannot run /nonexistent/command: No such file or directory"},
        {{"-h"}, 0, "Usage: kesto-board [-part G2553]"},
        {{"-part", "F5529"}, 1, "kesto-board: the MSP430F5529 has no board here"},
        {{"-load", "/nonexistent.hex"}, 1, "/nonexistent.hex"},
    };
    for (const auto& c : cases) {
        const ProcessRun run = run_board(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.back() << "\n" << run.text;
        EXPECT_NE(run.text.find(c.says), std::string::npos) << run.text;
    }
}

// The example firmware talks at 9600: at another rate neither side hears the other.
TEST(KestoBoard, TheUartIsBridgedToTheBoardAtTheRateTheHostSets) {
    SKIP_WITHOUT_NAMESPACES();
    for (const char* rate : {"9600", "19200"}) {
        const std::string script = std::string("stty -F /dev/ttyACM1 ") + rate +
                                   " && stty raw -echo && echo ready && (cat /dev/ttyACM1 &) && exec cat > /dev/ttyACM1";
        Console console(BOARD, {"-load", blink_example("elf"), "--", "sh", "-c", script});
        // Keys typed before that would come back from the console itself.
        ASSERT_TRUE(console.wait_for("ready")) << console.text;
        if (std::string(rate) == "9600") {
            ASSERT_TRUE(console.wait_for("Type something: it comes back")) << console.text;
            const std::size_t from = console.text.size();
            console.type("echo me");
            EXPECT_TRUE(console.wait_for("echo me", from, 3000)) << console.text;
            EXPECT_TRUE(console.wait_for("LED on   count 1", from, 3000)) << console.text;
        } else {
            // The greeting is cut off wherever stty came; the seconds after it never arrive.
            console.settle(300);
            const std::size_t from = console.text.size();
            console.type("echo me");
            EXPECT_FALSE(console.wait_for("count", from, 2500)) << console.text;
            EXPECT_EQ(console.text.find("echo me", from), std::string::npos);
        }
        // The signal reaches the command, and the board ends with it.
        kill(console.pid, SIGTERM);
        ASSERT_TRUE(console.wait_exit(5000));
        EXPECT_EQ(console.status, 128 + SIGTERM) << rate;
    }
}

// Here the refusal comes from a namespace that allows none below it.
TEST(KestoBoard, RefusedNamespacesAreNamedWithStatusTwo) {
    SKIP_WITHOUT_NAMESPACES();
    if (!fs::exists("/usr/bin/unshare")) GTEST_SKIP() << "no /usr/bin/unshare to refuse namespaces with";
    Console console("/usr/bin/unshare",
                    {"-r", "sh", "-c", "echo 0 > /proc/sys/user/max_user_namespaces && exec " + BOARD + " -- true"});
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 2) << console.text;
    EXPECT_NE(console.text.find("kesto-board: " + REFUSAL + " (unshare: "), std::string::npos) << console.text;
    EXPECT_NE(console.text.find("or run kesto-board as root"), std::string::npos) << console.text;
}

namespace {

std::string real_library() {
    std::string library = KESTO_REAL_LIBRARY;
    if (library.empty() && std::getenv("KESTO_REAL_LIBRARY")) library = std::getenv("KESTO_REAL_LIBRARY");
    return library.empty() || !fs::exists(library) ? std::string() : library;
}

#define SKIP_WITHOUT_REAL_LIBRARY()                                                                          \
    SKIP_WITHOUT_NAMESPACES();                                                                                \
    if (real_library().empty()) GTEST_SKIP() << "the chip maker's libmsp430.so is not available";          \
    /* memcheck would report the library's own uninitialised reads and thread-local leftovers. */           \
    if (under_valgrind()) GTEST_SKIP() << "the chip maker's library is not checked under valgrind"

struct KestoWithRealLibrary {
    ScratchFolder folder;
    KestoWithRealLibrary() {
        fs::copy_file(KESTO_BINARY, folder.path("kesto"));
        fs::create_symlink(real_library(), folder.path("libmsp430.so"));
        fs::copy_file(blink_example("hex"), folder.path("blink.hex"));
    }
    // `commands` run by sh in the folder, beside a board with `faults`.
    ProcessRun run(std::vector<std::string> faults, const std::string& commands, int deadline_ms = 40000) const {
        faults.insert(faults.end(), {"--", "sh", "-c", "cd '" + folder.folder() + "' && " + commands});
        return run_board(faults, deadline_ms);
    }
};

const std::string DEVICE_REPORT =
    "     Device: MSP430G2xx3 ID:103\n      Flash: 16K \t(C000..FFFF)\n       Info: 256B \t(1000..10FF)\n"
    "        RAM: 0K \t(0200..03FF)\n        BSL: 1K \t(0C00..0FFF)\n    Ext RAM: None\nBreakpoints: 2\n"
    "  Emulation: 1\nCLK Control: 1\n        LCD: None\n        Vcc: 1.8V...3.6V\n   Test Vpp: 1\n";

}  // namespace

TEST(KestoBoard, KestoWithTheRealLibraryProgramsTheBoard) {
    SKIP_WITHOUT_REAL_LIBRARY();
    const KestoWithRealLibrary kesto;
    const struct {
        std::vector<std::string> faults;
        std::string commands;
        int status;
        std::vector<std::string> says;
    } cases[] = {
        {{}, "./kesto USB -FET TIUSB -baud 9600 -a 0 +ebpv " + blink_example("elf") + " -expect 'LED on' -timeout 20", 0,
         {"Identifed: MSP430G2xx3 ID:103\r\nProgramm & Verify...wait... -OK", "KESTO board demo",
          "Expected text seen: \"LED on\""}},
        {{}, "./kesto -a 0 +ebpv blink.hex +r out.hex && ./kesto -a 0 -info -det", 16384 & 0xFF,
         {"Read. Wait... -OK", as_shown(DEVICE_REPORT)}},
        {{}, "./kesto -a 0 +ebp blink.hex +fuse; echo first $?; ./kesto -a 0 +e", 1,
         {"Blowing the device security fuse -OK\r\n", "first 0",
          "Device Not Found/ -The Debug Interface to the device has been secured\r\n"}},
        {{"-stuck", "0xC000"}, "./kesto -a 0 +pv blink.hex", 1, {"Programm & Verify...wait... -Verification error"}},
        {{"-old-firmware"}, "./kesto -a 0 +ebpv blink.hex", 1,
         {"Version conflict between the DLL and USB FET Firmware\r\nRun again with -update"}},
        // The update needs the adapter's USB bootloader, which the emulated one does not have.
        {{"-old-firmware"}, "./kesto -a 0 -update +ebpv blink.hex", 1,
         {"Firmware update: starting", "Firmware update -MSP-FET / eZ-FET legacy module update failed\r\n"}},
        {{"-fuse-blown"}, "./kesto -a 0 +ebpv blink.hex", 1,
         {"Device Not Found/ -The Debug Interface to the device has been secured"}},
        // Silent from the first command: the library gives up after its 3 s.
        {{"-hang-after", "0"}, "./kesto -a 0 +ebpv blink.hex", 1, {"Initializing FET -Interface Communication error"}},
        // Silent in the middle of the pass, at the blank check's checksum: the library's 20 s.
        {{"-hang-at", "Psa"}, "./kesto -a 0 -d 3 +ebpv blink.hex", 1, {"Erase All -OK\r\nBlank Check", "-Verification error"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.faults) + " " + c.commands);
        const ProcessRun run = kesto.run(c.faults, c.commands);
        EXPECT_EQ(run.status, c.status) << run.text;
        for (const std::string& text : c.says) EXPECT_NE(run.text.find(text), std::string::npos) << run.text;
    }
    expect_read_back(kesto.folder.path("blink.hex"), kesto.folder.path("out.hex"), 0xC000, 0xFFFF);
    // F5 and F9 in the terminal go through the library too.
    Console console(BOARD, {"--", kesto.folder.path("kesto"), "USB", "-baud", "9600", "-a", "0", "-d", "4", "+ebpv",
                            kesto.folder.path("blink.hex")},
                    kesto.folder.folder());
    ASSERT_TRUE(console.wait_for("LED on   count 1", 0, 15000)) << console.text;
    std::size_t from = console.text.size();
    console.type(KEY_F5);
    ASSERT_TRUE(console.wait_for("Reset/Start device -OK", from, 10000)) << console.text;
    EXPECT_TRUE(console.wait_for("LED on   count 1", from, 10000)) << console.text;
    from = console.text.size();
    console.type(KEY_F9);
    ASSERT_TRUE(console.wait_for("Programm & Verify...wait... -OK", from, 15000)) << console.text;
    EXPECT_TRUE(console.wait_for("LED on   count 1", from, 10000)) << console.text;
    console.type(KEY_F10);
    ASSERT_TRUE(console.wait_exit(10000));
    EXPECT_EQ(console.status, 0);
    std::size_t versions = 0;  // one for each of the three passes
    for (std::size_t at = 0; (at = console.text.find("DLL Version:31501001", at)) != std::string::npos; ++at) ++versions;
    EXPECT_EQ(versions, 3u) << console.text;
}
