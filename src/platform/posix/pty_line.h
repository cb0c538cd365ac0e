// Line settings of the virtual LaunchPad's pseudo-terminals, through the kernel's termios2,
// which carries any rate (the C library's <termios.h> cannot be included beside it).
#pragma once

#include <cstdint>

// Raw 8N1 at baud, as a program that opens the port expects to find it. False when refused.
bool pty_line_make_raw(int fd, std::uint32_t baud);

// The rate the line is set to now (the output speed), 0 when it cannot be read.
std::uint32_t pty_line_rate(int fd);
