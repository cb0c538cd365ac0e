// One programming pass over the FET library, and the pieces of it the terminal reuses.
#pragma once

#include "base/fet_interface.h"

// Every device action the settings select, in the fixed order. Returns only when every step
// succeeded; a failed step ends the program with exit code 1.
void programming_pass();

// Opens the library on settings.fet_port and selects the interface; on a version conflict,
// updates the adapter's firmware when settings.update_firmware asks for it. Messages at
// `level`, raised to 3 when lower. 0 done, 1 opening failed, 2 version conflict while the check
// is on, 3 the interface selection failed, 4 the firmware update failed.
int init_fet(int level);

// Resets and starts the target with settings.reset_method. 0 done, 1 failed (a failure after a
// successful fuse blow counts as done).
int reset_device(int level);

// The full device report from device_record.
void print_device_report();

// The text of the library's last error, headed by title unless print_level is above level.
// Returns the library's error number, which the library forgets once it was asked for.
fet_int report_library_error(int level, const char* title);
