// The simulator's error numbers, as MSP430_Error_Number reports them: the vendor library's own
// number for the same failure, so that a program which tells errors apart by number finds the
// one it knows. Several of the simulator's reasons share one of the library's numbers.
#pragma once

#include <string>

enum SimError : int {
    SIM_OK = 0,
    SIM_BAD_ARGUMENT = 3,
    SIM_NO_DEVICE = 4,  // nothing answers: no supply, or no such part in the list
    SIM_OUTSIDE_MEMORY = 7,
    SIM_SEGMENT_LOCKED = 7,
    SIM_VCC_RANGE = 10,
    SIM_FILE_UNREADABLE = 23,
    SIM_FILE_FORMAT = 24,
    SIM_FILE_UNWRITABLE = 26,
    SIM_VERIFY_FAILED = 28,
    SIM_NOT_BLANK = 28,  // a blank check is a verification against 0xFF
    SIM_FUSE_BLOWN = 30,
    SIM_NO_ADAPTER = 57,
    SIM_OTHER_DEVICE = 63,
    SIM_NOT_OPEN = 68,
    SIM_DATABASE_NOT_LOADED = 98,
};

// The vendor library's general text of an error number; a number it does not use gets a text
// saying so.
const char* sim_error_text(int number);
