// kesto-board run as a user runs it, on a console pseudo-terminal: the LaunchPad's entries as
// the command sees them, the UART bridged to the board's firmware, the command's exit status,
// the refusal where user namespaces are not allowed, and KESTO with the chip maker's own
// library programming the board through the emulated adapter.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/pty_harness.h"
#include "support/blink_example.h"

namespace fs = std::filesystem;

namespace {

const std::string BOARD = KESTO_BOARD_BINARY;
const std::string REFUSAL = "this system does not let this user have a private user and mount namespace";

struct BoardRun {
    std::string text;
    int status = -1;
};

BoardRun run_board(std::vector<std::string> args, int deadline_ms = 10000) {
    Console console(BOARD, std::move(args), "", false, winsize{50, 200, 0, 0});
    const bool ended = console.wait_exit(deadline_ms);
    return {console.text, ended ? console.status : -1};
}

// Empty when kesto-board can make its namespaces here, else why not.
const std::string& namespaces_refused() {
    static const std::string why = [] {
        const BoardRun run = run_board({"--", "true"});
        return run.status == 2 && run.text.find(REFUSAL) != std::string::npos ? run.text : std::string();
    }();
    return why;
}

#define SKIP_WITHOUT_NAMESPACES()                                                                   \
    if (!namespaces_refused().empty()) GTEST_SKIP() << "user namespaces refused here: " << namespaces_refused()

}  // namespace

TEST(KestoBoard, TheCommandSeesALaunchPadsTwoPorts) {
    SKIP_WITHOUT_NAMESPACES();
    const BoardRun run = run_board({"--", "sh", "-c",
                                    "cat /sys/class/tty/ttyACM0/device/modalias /sys/class/tty/ttyACM1/device/modalias "
                                    "/sys/class/tty/ttyACM0/device/bInterfaceNumber "
                                    "/sys/class/tty/ttyACM1/device/bInterfaceNumber; ls -l /dev/ttyACM0 /dev/ttyACM1; "
                                    "ls -1 /sys/class/tty; echo null > /dev/null && echo fine"});
    ASSERT_EQ(run.status, 0) << run.text;
    EXPECT_NE(run.text.find("usb:v2047p0013d0100dc02dsc00dp00ic02isc02ip01in00\r\n"
                            "usb:v2047p0013d0100dc02dsc00dp00ic02isc02ip01in02\r\n00\r\n02\r\n"),
              std::string::npos)
        << run.text;
    EXPECT_TRUE(std::regex_search(run.text, std::regex("crw[-rw]+ .* /dev/ttyACM0\r\ncrw[-rw]+ .* /dev/ttyACM1\r\n")))
        << run.text;
    // Only the LaunchPad is there: no other port is found in its place.
    EXPECT_NE(run.text.find("ttyACM0\r\nttyACM1\r\nfine"), std::string::npos) << run.text;
}

TEST(KestoBoard, EndsWithTheCommandsStatus) {
    SKIP_WITHOUT_NAMESPACES();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"--", "sh", "-c", "exit 0"}, 0, ""},
        {{"--", "sh", "-c", "exit 42"}, 42, ""},
        {{"--", "sh", "-c", "kill -KILL $$"}, 128 + SIGKILL, ""},
        {{"--", "/nonexistent/command"}, 127, "kesto-board: cannot run /nonexistent/command: No such file or directory"},
        {{"-h"}, 0, "Usage: kesto-board [-part G2553]"},
        {{"-stuck"}, 1, "kesto-board: -stuck needs a flash address"},
        {{"-part", "F5529"}, 1, "kesto-board: the MSP430F5529 has no board here"},
        {{"-load", "/nonexistent.hex"}, 1, "/nonexistent.hex"},
    };
    for (const auto& c : cases) {
        const BoardRun run = run_board(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.back() << "\n" << run.text;
        EXPECT_NE(run.text.find(c.says), std::string::npos) << run.text;
    }
}

// The example firmware talks at 9600 and echoes what it gets. The command shows the board's
// UART on the console and sends it the keys typed there; stty sets the host's rate, which the
// bridge follows: at another rate than the board's, neither side hears the other.
TEST(KestoBoard, TheUartIsBridgedToTheBoardAtTheRateTheHostSets) {
    SKIP_WITHOUT_NAMESPACES();
    for (const char* rate : {"9600", "19200"}) {
        const std::string script = std::string("stty -F /dev/ttyACM1 ") + rate +
                                   " && stty raw -echo && echo ready && (cat /dev/ttyACM1 &) && exec cat > /dev/ttyACM1";
        Console console(BOARD, {"-load", blink_example("elf"), "--", "sh", "-c", script}, "", false,
                        winsize{50, 200, 0, 0});
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

// Where this user may make no user namespace (here: a namespace allowed none below it), it says
// so and how to allow them, and ends with status 2.
TEST(KestoBoard, RefusedNamespacesAreNamedWithStatusTwo) {
    SKIP_WITHOUT_NAMESPACES();
    if (!fs::exists("/usr/bin/unshare")) GTEST_SKIP() << "no /usr/bin/unshare to refuse namespaces with";
    Console console("/usr/bin/unshare",
                    {"-r", "sh", "-c", "echo 0 > /proc/sys/user/max_user_namespaces && exec " + BOARD + " -- true"}, "",
                    false, winsize{50, 200, 0, 0});
    ASSERT_TRUE(console.wait_exit());
    EXPECT_EQ(console.status, 2) << console.text;
    EXPECT_NE(console.text.find("kesto-board: " + REFUSAL + " (unshare: "), std::string::npos) << console.text;
    EXPECT_NE(console.text.find("or run kesto-board as root"), std::string::npos) << console.text;
}

// The chip maker's library finds the board as a LaunchPad and programs it through the emulated
// eZ-FET; then KESTO's terminal hears the firmware on the UART. Each fault the command line
// names reaches the adapter and fails the pass as it would with a real one.
TEST(KestoBoard, KestoWithTheRealLibraryProgramsTheBoard) {
    SKIP_WITHOUT_NAMESPACES();
#ifdef KESTO_REAL_LIBRARY
    std::string library = KESTO_REAL_LIBRARY;
#else
    std::string library;
#endif
    if (library.empty() && std::getenv("KESTO_REAL_LIBRARY")) library = std::getenv("KESTO_REAL_LIBRARY");
    if (library.empty() || !fs::exists(library)) GTEST_SKIP() << "the chip maker's libmsp430.so is not available";
    // memcheck would report the library's own uninitialised reads and thread-local leftovers.
    if (under_valgrind()) GTEST_SKIP() << "the chip maker's library is not checked under valgrind";
    const ScratchFolder folder;
    fs::copy_file(KESTO_BINARY, folder.path("kesto"));
    fs::create_symlink(library, folder.path("libmsp430.so"));
    const std::vector<std::string> pass = {folder.path("kesto"), "-a", "0", "+ebpv", blink_example("elf")};
    const struct {
        std::vector<std::string> faults;
        std::vector<std::string> more;
        int status;
        std::vector<std::string> says;
    } cases[] = {
        {{}, {"USB", "-FET", "TIUSB", "-baud", "9600"}, 0,
         {"Identifed: ", "Programm & Verify...wait... -OK", "Expected text seen: \"LED on\""}},
        {{"-stuck", "0xC000"}, {}, 1, {"Verification error"}},
        {{"-old-firmware"}, {}, 1, {"Version conflict between the DLL and USB FET Firmware"}},
        {{"-fuse-blown"}, {}, 1, {"The Debug Interface to the device has been secured"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.faults;
        args.push_back("--");
        args.insert(args.end(), pass.begin(), pass.begin() + 1);
        args.insert(args.end(), c.more.begin(), c.more.end());
        args.insert(args.end(), pass.begin() + 1, pass.end());
        if (c.status == 0) args.insert(args.end(), {"-expect", "LED on", "-timeout", "20"});
        Console console(BOARD, args, "", false, winsize{50, 200, 0, 0});
        ASSERT_TRUE(console.wait_exit(40000)) << console.text;
        EXPECT_EQ(console.status, c.status) << console.text;
        for (const std::string& text : c.says) EXPECT_NE(console.text.find(text), std::string::npos) << console.text;
    }
}
