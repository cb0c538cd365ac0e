// What the Windows console's pieces share among themselves: the event a stop request sets, the
// Ctrl-C presses that the console raised as events rather than keys, and the serial port's
// wait handle.
#pragma once

#include <windows.h>

#include "platform/serial_device.h"

// Set (manual reset) when a stop is requested while a loop listens, so that a wait cannot sleep
// through a request that came just before it. Never null once console_keys_install has run.
HANDLE stop_wake_event();

// Ctrl-C presses that came as console events while the terminal was raw: each is one byte 3
// for the board. Takes them all.
int take_ctrl_c_presses();
bool ctrl_c_pending();

// True when standard input is a console (GetConsoleMode works on it; a file, a pipe or NUL
// says no).
bool stdin_is_console();

// The event that is set while received bytes wait to be read, or the port has failed; null
// when the port has gone or there is none. Starts the port's background read when none is
// under way.
HANDLE serial_wait_handle(SerialHandle handle);

// True once reads on the port have failed in a way that says the device is gone.
bool serial_is_gone(SerialHandle handle);
