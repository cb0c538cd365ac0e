// The FET library the run talks to, and the device record it fills.
//
// Callers go through `fet` and never ask which provider is behind it, except where the two
// generations of the vendor's library number things differently.
#pragma once

#include "base/fet_interface.h"
#include "fet/fet_generation.h"

// The active table, chosen once at start before the first call.
extern const FetLibrary* fet;

// Which library fills the table.
extern FetGeneration fet_generation;

extern DeviceRecord device_record;

// Chooses the table for the adapter named by fet_port: a name that begins with "SIM" (case
// ignored) selects the simulator, anything else the vendor's library.
void choose_fet_library(const char* fet_port);

// For the listings given as the first argument: the vendor's library when it loads, else the
// simulator.
void choose_fet_library_for_listing();
