// The simulator's error numbers and their texts, as MSP430_Error_Number and
// MSP430_Error_String report them.
#pragma once

#include <string>

enum SimError : int {
    SIM_OK = 0,
    SIM_NOT_OPEN,
    SIM_UNKNOWN_PART,
    SIM_BAD_ARGUMENT,
    SIM_VCC_RANGE,
    SIM_NO_SUPPLY,
    SIM_FUSE_BLOWN,
    SIM_OUTSIDE_MEMORY,
    SIM_SEGMENT_LOCKED,
    SIM_NOT_BLANK,
    SIM_FILE_UNREADABLE,
    SIM_FILE_FORMAT,
    SIM_VERIFY_FAILED,
    SIM_FILE_UNWRITABLE,
    SIM_NO_SUCH_DEVICE,
    SIM_NO_SUCH_ADAPTER,
    SIM_ERROR_COUNT,
    // The number the current generation of the vendor's library reports for it.
    SIM_DATABASE_NOT_LOADED = 98,
};

// The general text of an error number; a number outside the table gets a text saying so.
const char* sim_error_text(int number);

