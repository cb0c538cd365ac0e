#include "base/console.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/run_settings.h"
#include "support/capture.h"

const std::string PROMPT = "\nPress AnyKey to Exit\n", BELLS = PROMPT + "\a\a\a";

// Standard input is the null device here: the prompt shows as the mode says, but nothing waits.
TEST(ExitProgram, CodesAndKeyModesWithoutATerminal) {
    const struct { int code, anykey_mode; std::string text; int status; } cases[] = {
        {1, 0, "", 1},          {EXIT_DONE, 0, "", 0}, {3, 1, BELLS, 3},          {EXIT_DONE, 1, "", 0},
        {EXIT_QUIET, 1, "", 0}, {2, 2, BELLS, 2},      {EXIT_DONE, 2, PROMPT, 0}, {EXIT_QUIET, 2, "", 0},
        {EXIT_DONE, 7, PROMPT, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " in mode " + std::to_string(c.anykey_mode));
        settings = RunSettings{};
        settings.anykey_mode = c.anykey_mode, settings.print_level = 0;  // the prompt shows all the same
        // Output not yet flushed still arrives.
        const Captured out = capture_output([&c] { std::fputs("before", stdout), exit_program(c.code); });
        EXPECT_EQ(out.text, "before" + c.text);
        EXPECT_EQ(out.status, c.status);
    }
    settings = RunSettings{};
}
