// The simulated FET adapter and target, as a FET library table.
#pragma once

#include <string>

#include "base/fet_interface.h"

// The adapter names the simulator answers to: "SIM" for the default part, "SIM:<part>" for
// another (with or without the "MSP430" prefix, case ignored).
const FetLibrary* simulator_library();

// Forgets the target and the last error, as a new run would; for tests that run many sessions
// in one process.
void reset_simulator();

// Makes error (a SimError) with its text the last error, as a failing call of the table does, for
// the calls of the library's current generation built on top of it. Returns the failed status.
fet_int simulator_fail(int error, std::string text);
