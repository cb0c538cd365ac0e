// The simulated FET adapter and target, as a FET library table.
#pragma once

#include <cstdint>
#include <string>

#include "base/fet_interface.h"

class Board;

// The adapter names the simulator answers to: "SIM" for the default part, "SIM:<part>" for
// another (with or without the "MSP430" prefix, case ignored).
const FetLibrary* simulator_library();

// Forgets the target and the last error, as a new run would; for tests that run many sessions
// in one process.
void reset_simulator();

// Makes error (a SimError) with its text the last error, as a failing call of the table does, for
// the calls of the library's current generation built on top of it. Returns the failed status.
fet_int simulator_fail(int error, std::string text);

// The part whose board the simulator models, CPU, clocks, timers and UART included.
inline constexpr const char* BOARD_PART = "MSP430G2553";

// The virtual board behind the simulated adapter named by fet_port, for the SIM port: null,
// with why filled in, when fet_port names another adapter or a part other than BOARD_PART.
// The board lives with the simulated target: MSP430_Initialize halts its CPU (JTAG takes the
// chip), MSP430_Reset with execute 1 starts it from the reset vector, switching the supply
// off stops it. Each start is dated half a second back, as far as a real board has run when
// the real library's reset returns: the board's first half second runs at its first look.
Board* simulated_board(const char* fet_port, std::string& why);

// Starts a board that no reset has started yet, from whatever its flash holds, as switching the
// board on does; a board started before, or one without supply, is left as it is.
void power_up_simulated_board(std::uint64_t now_ns);

// The host time the board runs on, in nanoseconds of the steady clock.
std::uint64_t board_clock_ns();
