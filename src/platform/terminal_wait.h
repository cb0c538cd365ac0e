// What the terminal waits on: the serial port and the console keyboard at once, so that an idle
// session sleeps in the kernel and a byte from either side is handled the moment it arrives.
#pragma once

#include <cstddef>

struct TerminalEvents {
    bool port = false;            // the port has bytes to read, or has hung up (a read tells)
    bool port_hung_up = false;    // the device is gone: one last read, then waiting on it would spin
    bool console = false;         // the keyboard has bytes to read
    bool signalled = false;       // console_signal is set; the caller leaves
};

// Waits until the port (a descriptor; negative: none) or the console (when
// watch_console) can be read, a listened-for signal arrives, or timeout_ms passes (negative:
// no limit). A signal that arrives just before the wait is not lost.
TerminalEvents terminal_wait(int port, bool watch_console, int timeout_ms);

// Reads what the keyboard has ready without blocking: the count of bytes, 0 when the console
// input has ended for good, -1 when nothing was there.
int console_read(unsigned char* buffer, int capacity);

// Writes every byte to the standard output descriptor, past interruptions and short writes.
void console_write(const char* bytes, std::size_t n);
