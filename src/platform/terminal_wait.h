// What the terminal waits on: the serial port and the console keyboard at once, so that an idle
// session sleeps in the system and a byte from either side is handled the moment it arrives.
#pragma once

#include <cstddef>

#include "platform/serial_device.h"

// The most bytes one key gives: a lead byte and a code.
inline constexpr int CONSOLE_KEY_MAX = 2;

struct TerminalEvents {
    bool port = false;            // the port has bytes to read (or has just gone: a read tells)
    bool port_gone = false;       // the device has gone away; waiting on it again would spin
    bool console = false;         // console_read_keys has keys, or has learnt the input ended
    bool stop_requested = false;  // a stop was requested while listening; the caller leaves
    bool device = false;          // terminal_wait_for_device: worth trying to open the port again
};

// Waits until the port (0: none) has bytes, the console has keys (when watch_console), a stop
// is requested, or timeout_ms passes (negative: no limit). A stop requested just before the
// wait is not lost.
TerminalEvents terminal_wait(SerialHandle port, bool watch_console, int timeout_ms);

// While the port's device is gone: waits until the device that port_name means may be there
// again, the console has keys (when watch_console), a stop is requested, or timeout_ms passes
// (negative: no limit). `device` is set when the system told of a change where the device
// appears (on Linux: a new entry or changed permissions in its folder, or in the nearest folder
// of its path that exists) and also when the time limit passed, so a caller that opens the port
// on every `device`, with a limit of 250 ms, needs no notice from the system to find it.
// Sleeps in the system meanwhile; what it holds for the watch is kept for the next call with
// the same name until terminal_wait_for_device_end.
TerminalEvents terminal_wait_for_device(const char* port_name, bool watch_console, int timeout_ms);
void terminal_wait_for_device_end();

// The keys typed so far, without blocking, as the PC console gives them: a character as
// itself, a key without one as a lead byte and a code (KEY_LEAD_FUNCTION, KEY_LEAD_EDITING).
// capacity must be at least CONSOLE_KEY_MAX. Returns the count of key bytes, 0 when the console input has
// ended for good, -1 when no whole key is there yet.
int console_read_keys(unsigned char* keys, int capacity);

// Writes every byte to standard output, past interruptions and short writes. With utf8 the
// bytes from 0x80 up are UTF-8 text, else bytes in the console's own code page (-oem); a
// Windows console needs to know which, a Linux terminal takes both as they come.
void console_write(const char* bytes, std::size_t n, bool utf8);
