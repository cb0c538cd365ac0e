// The command line of kesto-board:
//   kesto-board [-part G2553] [-load FILE] [faults...] [-- COMMAND [ARG...]]
#pragma once

#include <string>
#include <vector>

#include "ezfet/ez_fet.h"

struct BoardOptions {
    bool usage = false;          // -h: show the usage text and end
    std::string part = "MSP430G2553";
    std::string load;            // an image the board's flash holds from the start, "" for a blank chip
    EzFetFaults faults;
    std::vector<std::string> command;  // empty: the user's shell
};

// Reads argv[1..argc-1]. False, with `error` saying what is wrong, for a bad command line.
bool read_board_options(int argc, const char* const* argv, BoardOptions& options, std::string& error);

// The usage text, ending with a line end.
const char* board_usage();

// What runs when the command line names nothing: $SHELL when set, else /bin/sh.
std::vector<std::string> default_board_command();
