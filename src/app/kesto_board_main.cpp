// kesto-board: a virtual LaunchPad for whatever runs beside it.
#include <cstdio>
#include <string>

#include "app/board_command_line.h"
#include "app/launchpad_board.h"
#include "chip/parts.h"
#include "chip/sim_errors.h"
#include "image/image_file.h"
#include "platform/virtual_launchpad.h"

namespace {

// The board is the simulated G2553's: its CPU, clocks, timers and UART.
constexpr const char* BOARD_CHIP = "MSP430G2553";

int fail(int status, const std::string& text) {
    std::fprintf(stderr, "kesto-board: %s\n", text.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    BoardOptions options;
    std::string error;
    if (!read_board_options(argc, argv, options, error)) {
        std::fprintf(stderr, "kesto-board: %s\n\n%s", error.c_str(), board_usage());
        return 1;
    }
    if (options.usage) {
        std::fputs(board_usage(), stdout);
        return 0;
    }
    if (options.part != BOARD_CHIP) return fail(1, "the " + options.part + " has no board here; only the " + BOARD_CHIP + " has");

    LaunchpadBoard board(*find_part(options.part.c_str()), options.faults);
    if (!options.load.empty()) {
        MemoryImage image;
        if (read_image_file(options.load.c_str(), image, error) != IMAGE_OK) return fail(1, error);
        if (board.preload(image, error) != SIM_OK) return fail(1, options.load + ": " + error);
    }
    if (options.command.empty()) options.command = default_board_command();

    const LaunchpadOutcome outcome = run_virtual_launchpad(options.command, board);
    switch (outcome.kind) {
    case LaunchpadOutcome::COMMAND_ENDED: return outcome.status;
    case LaunchpadOutcome::REFUSED: return fail(2, outcome.why);
    case LaunchpadOutcome::FAILED: return fail(outcome.status ? outcome.status : 2, outcome.why);
    }
    return 2;
}
