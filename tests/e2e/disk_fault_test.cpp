// Files that cannot be written: a log on a full device, and read-outs that fail on the way.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/fault_harness.h"
#include "sim/scratch_files.h"
#include "support/capture.h"

namespace {

TEST(DiskFault, ALogOnAFullDeviceLeavesTheTerminalRunning) {
    BoardSession session({"-m", "-l", "/dev/full"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.board_says("one\r", "one\r\r\n"));
    session.console->type("k");
    EXPECT_EQ(session.line->receive(1), "k");
    ASSERT_TRUE(session.board_says(std::string(4000, 'x') + "two\r", "two\r\r\n"));
    session.console->type(KEY_F10);
    ASSERT_TRUE(session.console->wait_exit());
    EXPECT_EQ(session.console->status, 0);
    EXPECT_EQ(without_titles(session.console->text.substr(session.after_banner)),
              as_shown("one\r\n" + std::string(4000, 'x') + "two\r\n") + SHOWN_STOPPED);
}

struct ReadOutCase {
    const char* what;
    const char* out_name;
    rlim_t file_size_limit;  // RLIM_INFINITY: none
    const char* reason;
};

// A read-out that cannot be completed fails with the system's reason and status 1; whatever
// file of that name was there before stays as it was, and no partial file is left beside it.
TEST(DiskFault, AFailedReadOutLeavesNoFileLookingComplete) {
    const ReadOutCase cases[] = {
        // The file size limit stops the write after its first kilobyte, as a full disk would.
        {"disk full on the way", "out.hex", 1024, "File too large"},
        {"a folder that is a file", "plain/out.hex", RLIM_INFINITY, "Not a directory"},
    };
    for (const ReadOutCase& c : cases) {
        SCOPED_TRACE(c.what);
        const ScratchFolder scratch;
        const std::string& dir = scratch.folder();
        std::ofstream(dir + "/plain") << "a file, not a folder\n";
        const std::string earlier = "an earlier read-out\n";
        std::ofstream(dir + "/out.hex") << earlier;
        const Captured run = capture_output([&] {
            if (chdir(dir.c_str()) != 0) _exit(126);
            // Past the limit a write fails with EFBIG instead of ending the process.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{c.file_size_limit, c.file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
            execl(KESTO_BINARY, KESTO_BINARY, "-FET", "SIM", "-a", "0", "+r", c.out_name, nullptr);
            _exit(127);
        });
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.text, std::string("KESTO 1.0  MSP430 programmer and serial terminal\n"
                                        "\t   FET Port name: SIM\n"
                                        "\t    Out Filename:`") +
                                c.out_name + "`\n" + "Identifed: MSP430G2553 ID:9\n" +
                                "Read. Wait... -Cannot write " + c.out_name + ": " + c.reason + "\n");
        EXPECT_EQ(read_file(dir + "/out.hex"), earlier);
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) left.push_back(entry.path().filename());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"out.hex", "plain"}));
    }
}

}  // namespace
