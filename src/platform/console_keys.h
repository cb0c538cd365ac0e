// The console keyboard: quiet input from start to exit and raw input for the terminal, the keys
// as the terminal's key table knows them, stop requests, and putting the
// console (its mode and its title) back the way it was on every way out.
#pragma once

// Keys without a character arrive as a lead byte and a code, as the PC console gives them.
inline constexpr unsigned char KEY_LEAD_FUNCTION = 0x00;  // F-keys, Alt with a letter, Ctrl-@
inline constexpr unsigned char KEY_LEAD_EDITING = 0xE0;   // cursor and editing keys
inline constexpr unsigned char KEY_F1 = 59;               // F1..F10 are 59..68
inline constexpr unsigned char KEY_F4 = 62;
inline constexpr unsigned char KEY_F5 = 63;
inline constexpr unsigned char KEY_F9 = 67;
inline constexpr unsigned char KEY_F10 = 68;
inline constexpr unsigned char KEY_ALT_O = 24;

// Saves the console's mode and (when standard output is a console) its window title, and arranges for a stop request (on Linux
// SIGTERM, SIGHUP, SIGINT, SIGQUIT) to put both back. A job-control stop (SIGTSTP) gives the
// console back while the program is stopped, and the program's mode comes back when it goes on.
// Called once, first thing in the process; harmless to call again.
void console_keys_install();

// From start to exit outside the terminal: keys typed meanwhile wait in the console's queue
// unseen and unedited (no echo, no line editing, Enter as CR), so the terminal later gets them
// as the keys they were; the stop keys (Ctrl-C) still stop the program; output processing on.
void console_keys_quiet();

// Raw input for the terminal: the quiet mode, and no signal keys (Ctrl-C is a byte for the
// board).
void console_keys_raw();

// Back to the mode and the title saved at start, on the way out. Safe to call at any time and
// more than once.
void console_keys_restore();

// True when standard input is an interactive console.
bool console_input_is_terminal();

// While a loop listens, a stop request only sets a flag that the loop's wait reports;
// otherwise it restores the console and ends the process at once.
void console_stops_listen(bool on);
bool console_stop_requested();

// Restores the console and ends the process the way the stop request asked for (on Linux: by
// the same signal).
[[noreturn]] void console_stop_now();

// Around a write to the console, which blocks while the console takes no output (after Ctrl-S,
// or in a terminal window that hangs): meanwhile a stop request ends the process at once, as
// the loop that would look at it cannot get there. False when a stop has been requested
// already; nothing is to be written then.
bool console_output_begin();
void console_output_end();
