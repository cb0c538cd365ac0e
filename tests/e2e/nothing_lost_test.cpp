// What can be known before the first erase is found there: a pass that would erase ends with
// status 1 and one clear line, and the chip and every file are as they were.
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "e2e/pty_harness.h"
#include "support/run_program.h"

namespace {

namespace fs = std::filesystem;

// At print level 3, so that every step it takes shows.
ProcessRun run_in(const ScratchFolder& folder, std::vector<std::string> args, const std::string& tmpdir,
                  rlim_t limit = RLIM_INFINITY) {
    args.insert(args.begin(), {KESTO_BINARY, "-a", "0", "-d", "3"});
    const ScratchFolder counters;  // a coverage build's, which the limit would cut short at the exit
    return run_process([&] {
        if (limit != RLIM_INFINITY) setenv("GCOV_PREFIX", counters.folder().c_str(), 1);
        setenv("LD_LIBRARY_PATH", fs::path(KESTO_SIM_LIBRARY).parent_path().c_str(), 1);
        setenv("TMPDIR", tmpdir.c_str(), 1);
        signal(SIGXFSZ, SIG_IGN);  // past the limit a write then fails with EFBIG
        const rlimit fsize{limit, limit};
        if (chdir(folder.folder().c_str()) == 0 && setrlimit(RLIMIT_FSIZE, &fsize) == 0) exec_program(args);
    });
}

TEST(BeforeTheErase, EveryFailureThatCanBeKnownEndsThePassBeforeIt) {
    const ScratchFolder dir, temporary;
    fs::copy_file(std::string(KESTO_SOURCE_DIR) + "/examples/blink/blink.elf", dir.path("blink.elf"));
    ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
    const std::string no_space = "Cannot write a temporary Intel HEX file from blink.elf: File too large\n";
    const struct { std::vector<std::string> args; std::string tmpdir, line; rlim_t limit = RLIM_INFINITY; } cases[] = {
        {{"-FET", "TIUSB", "+ep", "blink.elf"}, dir.path("missing"),
         "Cannot make a temporary Intel HEX file from blink.elf: No such file or directory\n"},
        {{"-FET", "TIUSB", "+ep", "blink.elf"}, temporary.folder(), no_space, 64},
        {{"-FET", "SIM", "+r", "/dev/full", "+e"}, temporary.folder(),
         "Cannot write /dev/full: it is a device; a read-out replaces only a regular file\n"},
        {{"-FET", "SIM", "+r", "fifo", "+e"}, temporary.folder(),
         "Cannot write fifo: it is a FIFO; a read-out replaces only a regular file\n"},
        {{"-FET", "SIM", "+r", "missing/out.hex", "+e"}, temporary.folder(),
         "Cannot write missing/out.hex: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const ProcessRun run = run_in(dir, c.args, c.tmpdir, c.limit);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.text.ends_with(c.line)) << run.text;
        EXPECT_EQ(run.text.find("Erase"), std::string::npos) << run.text;
        EXPECT_TRUE(fs::is_empty(temporary.folder()));
    }
    // The limit met while the read-out is written, as a full disk would be.
    dir.write("out.hex", "an earlier read-out\n");
    const ProcessRun cut = run_in(dir, {"-FET", "SIM", "+r", "out.hex"}, temporary.folder(), 1024);
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(cut.text.ends_with("Read. Wait... -Cannot write out.hex: File too large\n")) << cut.text;
    EXPECT_EQ(dir.read("out.hex"), "an earlier read-out\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.folder()), {}), 3);
    EXPECT_TRUE(fs::is_fifo(dir.path("fifo")));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// TERM=dumb: an editor's build buffer.
TEST(ConsoleTitle, NoneUnderADumbTerminal) {
    for (const char* term : {"xterm", "dumb"}) {
        SCOPED_TRACE(term);
        const char* saved = std::getenv("TERM");
        const std::string before = saved ? saved : "";
        setenv("TERM", term, 1);
        Console console({"-FET", "SIM", "-a", "0", "-det"});
        saved ? setenv("TERM", before.c_str(), 1) : unsetenv("TERM");
        ASSERT_TRUE(console.wait_exit());
        const bool titles = std::string(term) != "dumb";
        EXPECT_EQ(console.text.find("\x1b]0;") != std::string::npos, titles) << console.text;
        EXPECT_EQ(console.text.find("\x1b[22;0t") != std::string::npos, titles) << console.text;
    }
}

}  // namespace
