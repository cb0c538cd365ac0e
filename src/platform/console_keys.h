// The console keyboard: raw input for the terminal, the key wait at exit, and putting the
// console back the way it was on every way out, signals included.
#pragma once

#include <csignal>

// Saves the console mode and installs the handlers for SIGTERM, SIGHUP and SIGINT that put it
// back. Called once, first thing in the process; harmless to call again.
void console_keys_install();

// Raw input for the terminal: no echo, no line editing, no signal keys (Ctrl-C is a byte for
// the board), output processing left on so that LF still shows as CR LF.
void console_keys_raw();

// Back to the mode saved at start. Safe to call at any time and more than once.
void console_keys_restore();

// True when standard input is a terminal.
bool console_input_is_terminal();

// Blocks until one key arrives and discards it, the console in raw mode meanwhile. Returns at
// once when standard input is not a terminal, so that a script never hangs.
void console_key_wait();

// Set by the signal handlers while a loop has asked to hear about signals
// (console_signals_listen(true)); otherwise a signal restores the console and ends the process.
extern volatile std::sig_atomic_t console_signal;
void console_signals_listen(bool on);

// Around a write to the console, which blocks while the console takes no output (after Ctrl-S,
// or in a terminal window that hangs): meanwhile a listened-for signal ends the process at once,
// as the loop that would look at console_signal cannot get there. False when a signal has come
// already; nothing is to be written then.
bool console_output_begin();
void console_output_end();

// Becomes readable when a listened-for signal has set console_signal (-1: none), so that a wait
// in poll cannot sleep through a signal that arrived just before it.
int console_signal_wake_descriptor();

// Restores the console and ends the process the way the signal would have.
[[noreturn]] void console_die_of_signal(int signal_number);
