// Image files as a whole, and what the read-out writer does with the name it is given.
#include "image/image_file.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <filesystem>
#include <utility>

#include "platform/console_keys.h"
#include "support/image_bytes.h"
#include "support/scratch_folder.h"

namespace fs = std::filesystem;

TEST(ImageFiles, WhatNoFormatTakesIsRefusedWithWhy) {
    const std::string record = ":01C000007FC0", end = "\n:00000001FF\n";
    const std::string longest = record + std::string(LineReader::MAX_LINE - record.size(), ' ') + end;
    // Filled with blank lines of the longest length, so that a slow build reads few of them.
    std::string largest = record + "\n";
    for (std::size_t left; (left = LineReader::MAX_FILE - largest.size() - end.size() + 1) > 0;)
        largest += std::string(std::min<std::size_t>(left, LineReader::MAX_LINE + 1) - 1, ' ') + '\n';
    largest += end.substr(1);
    expect_read_as(longest, {{0xC000, 0x7F}});
    expect_read_as(largest, {{0xC000, 0x7F}});
    const std::pair<std::string, std::string> cases[] = {
        {"", ": the file is empty"},
        {record + " " + longest.substr(record.size()), " line 1: the line is longer than 4096 characters"},
        {"\n" + largest, " line 4098: the file is larger than 16 MB, more than any MSP430 image can be"},
        {"\x1b[2J", " line 1: neither Intel HEX (':' first), TI-TXT ('@' first) nor ELF; it begins with \\x1B"},
    };
    for (const auto& [text, why] : cases) expect_refused(text, why);
}

TEST(ImageFiles, ReadOutOverALinkWritesTheFileItPointsTo) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows programs meet no symbolic links: a name stands for itself there";
#endif
    const ScratchFolder scratch;
    fs::create_directory(scratch.path("fw"));
    scratch.write("fw/app.hex", "the old read-out\n");
    const struct { const char* link; std::string target; const char* written; } cases[] = {
        {"relative.hex", "fw/app.hex", "fw/app.hex"},
        {"absolute.hex", scratch.path("fw/app.hex"), "fw/app.hex"},
        {"chain.hex", "relative.hex", "fw/app.hex"},
        {"fw/new.hex", "../fw/later.hex", "fw/later.hex"},
    };
    const std::vector<std::uint8_t> data = {0x31, 0x40};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        fs::create_symlink(c.target, scratch.path(c.link));
        std::string error;
        ASSERT_TRUE(write_image_file(scratch.path(c.link).c_str(), true, 0xC000, data, error)) << error;
        EXPECT_TRUE(fs::is_symlink(scratch.path(c.link)));
        EXPECT_EQ(scratch.read(c.written), ":02C000003140CD\n:00000001FF\n");
    }
    for (const auto& entry : fs::recursive_directory_iterator(scratch.folder()))
        EXPECT_TRUE(entry.is_directory() || entry.path().extension() == ".hex") << entry.path();
}

// The temporary name is new each time. Devices and FIFOs: see the tests of the pass.
TEST(ImageFiles, ReadOutReplacesOnlyARegularFileAndTouchesNoNeighbour) {
    const ScratchFolder scratch;
    scratch.write("notes.hex", "old\n");
    scratch.write("notes.hex.partial", "someone's notes\n");
    fs::create_directory(scratch.path("folder"));
    std::string error;
    const std::vector<std::uint8_t> data = {0x31, 0x40};
    ASSERT_TRUE(write_image_file(scratch.path("notes.hex").c_str(), true, 0xC000, data, error)) << error;
    EXPECT_EQ(scratch.read("notes.hex"), ":02C000003140CD\n:00000001FF\n");
    EXPECT_EQ(scratch.read("notes.hex.partial"), "someone's notes\n");
    EXPECT_FALSE(write_image_file(scratch.path("folder").c_str(), true, 0xC000, data, error));
    EXPECT_EQ(error, "Cannot write " + scratch.path("folder") + ": it is a folder; a read-out replaces only a regular file");
    EXPECT_TRUE(fs::is_directory(scratch.path("folder")));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.folder()), {}), 3);
    // A folder given as the image opens on POSIX systems but cannot be read; Windows refuses the open.
    MemoryImage image;
    EXPECT_EQ(read_image_file(scratch.path("folder").c_str(), image, error), IMAGE_UNREADABLE);
#if defined(_WIN32)
    EXPECT_TRUE(error.starts_with("Cannot open " + scratch.path("folder") + ": ")) << error;
#else
    EXPECT_EQ(error, "Cannot read " + scratch.path("folder") + ": Is a directory");
#endif
}

#if !defined(_WIN32)
// The file size limit's signal stands for any that ends the run.
TEST(ImageFiles, ASignalDuringTheReadOutLeavesNoTemporaryFile) {
    const ScratchFolder scratch;
    scratch.write("out.hex", "the old read-out\n");
    const pid_t child = fork();
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO), dup2(quiet, STDIN_FILENO);
        console_keys_install();  // the program's own handlers
        signal(SIGXFSZ, [](int) { raise(SIGTERM); });
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        write_image_file(scratch.path("out.hex").c_str(), true, 0, std::vector<std::uint8_t>(65536, 0x55), error);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(scratch.read("out.hex"), "the old read-out\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.folder()), {}), 1);
}
#endif
