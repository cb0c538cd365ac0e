// kesto-board's options: the faults reach the emulated adapter as typed, bad words are named.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/board_command_line.h"

namespace {

bool read(std::vector<const char*> words, BoardOptions& options, std::string& error) {
    words.insert(words.begin(), "kesto-board");
    return read_board_options(static_cast<int>(words.size()), words.data(), options, error);
}

}  // namespace

TEST(BoardCommandLine, FaultsAndTheCommand) {
    BoardOptions options;
    std::string error;
    ASSERT_TRUE(read({"-STUCK", "0xC010", "-old-firmware", "-hang-after", "12", "-hang-at", "psa", "-fuse-blown", "-part", "msp430g2553",
                      "--", "kesto", "--", "-h"},
                     options, error))
        << error;
    EXPECT_TRUE(options.faults.stuck_bit);
    EXPECT_EQ(options.faults.stuck_address, 0xC010u);
    EXPECT_TRUE(options.faults.old_firmware);
    EXPECT_EQ(options.faults.silent_after_executes, 12);
    EXPECT_EQ(options.faults.silent_at_macro, EzFetMacro::PSA);
    EXPECT_TRUE(options.faults.fuse_blown);
    EXPECT_EQ(options.part, "MSP430G2553");
    EXPECT_FALSE(options.usage);  // -h after -- is the command's
    EXPECT_EQ(options.command, (std::vector<std::string>{"kesto", "--", "-h"}));

    BoardOptions plain;
    ASSERT_TRUE(read({}, plain, error));
    EXPECT_FALSE(plain.faults.stuck_bit || plain.faults.old_firmware || plain.faults.fuse_blown);
    EXPECT_LT(plain.faults.silent_after_executes, 0);
    EXPECT_TRUE(plain.command.empty());
}

TEST(BoardCommandLine, BadWordsAreNamed) {
    const struct {
        std::vector<const char*> words;
        const char* error;
    } cases[] = {
        {{"-stuck"}, "-stuck needs a flash address (0xC000 or 49152)"},
        {{"-stuck", "0xC0G0"}, "-stuck needs a flash address (0xC000 or 49152)"},
        {{"-stuck", "0x100000"}, "-stuck needs a flash address (0xC000 or 49152)"},
        {{"-hang-after", "-1"}, "-hang-after needs a count of commands"},
        {{"-hang-at", "Reboot"}, "-hang-at needs the name of an adapter command (Psa, ExecuteFunclet, ...)"},
        {{"-part", "G9999"}, "-part G9999: no such part"},
        {{"-load"}, "-load needs an image file"},
        {{"--"}, "-- names no command"},
        {{"-fast"}, "unknown option -fast"},
    };
    for (const auto& c : cases) {
        BoardOptions options;
        std::string error;
        EXPECT_FALSE(read(c.words, options, error)) << c.words[0];
        EXPECT_EQ(error, c.error);
    }
}
