// The simulated FET adapter and target, as a FET library table.
#pragma once

#include "base/fet_interface.h"

// The adapter names the simulator answers to: "SIM" for the default part, "SIM:<part>" for
// another (with or without the "MSP430" prefix, case ignored).
const FetLibrary* simulator_library();

// Forgets the target and the last error, as a new run would; for tests that run many sessions
// in one process.
void reset_simulator();
