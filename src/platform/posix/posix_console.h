// What the Linux console's pieces share among themselves: the stop request's wake-up pipe, the
// keys held back while an escape sequence may still be coming, and the serial descriptor.
#pragma once

#include "platform/serial_device.h"

// Becomes readable when a stop is requested while a loop listens (-1: none), so that a wait in
// poll cannot sleep through a signal that arrived just before it.
int stop_wake_descriptor();

// How long the console input may still wait for the rest of an escape sequence: -1 when nothing
// is held back, 0 when the pause is over and the held bytes are keys now.
int console_pause_left_ms();

// Forgets the bytes held back and an end of input seen: standard input may have been replaced.
void console_input_forget();

// True when standard output is a terminal that takes window titles: not a pipe or a file, and
// not TERM=dumb (an editor's build buffer), where the escape sequences would show as garbage.
bool console_takes_titles();

// The descriptor behind a serial handle, or -1 for none.
int serial_descriptor(SerialHandle handle);
