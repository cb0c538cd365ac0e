// The dumb terminal on the serial port.
#pragma once

inline constexpr int TERMINAL_PROGRAM = 0x8001;  // F9
inline constexpr int TERMINAL_REOPEN = 0x8002;   // F4 after a failed write

// Runs until the operator leaves (0), asks for programming or for a reopen. reopen_count 0 is
// a fresh start and shows the key line. F1 shows the usage through show_usage, which belongs
// to the command line above.
int run_terminal(int reopen_count, void (*show_usage)());
