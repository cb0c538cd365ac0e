// Leveled console messages, the console title and the one way out of the program.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/system_conventions.h"

// Exit codes handed to exit_program. 1, 2 and 3 are failures and become the process status.
inline constexpr int EXIT_DONE = 0x4000;   // normal completion
inline constexpr int EXIT_QUIET = 0x8000;  // the operator ended the terminal: leave at once
// An unattended run's end (-expect, -error, -timeout); like the failures, the process status.
inline constexpr int EXIT_ERROR_TEXT = 5;  // an -error text was seen
inline constexpr int EXIT_TIME_OUT = 6;    // the run ended with -expect texts not all seen

// The process status that exit_program ends with for a code: EXIT_QUIET ends with 0, and so does
// EXIT_DONE on Linux, where a status keeps only its low 8 bits and 16384 would arrive as 0
// anyway; Windows keeps a status whole, and EXIT_DONE ends with 16384 there.
int exit_status_for(int code);

// Prints only when level <= settings.print_level, and flushes at once.
[[PRINTF_FORMAT(2, 3)]] void print_at_level(int level, const char* format, ...);

// Prints whatever the print level, and flushes at once all the same: a title without a newline
// must stand on the screen while the library call after it runs, which for programming or
// read-out takes many seconds.
[[PRINTF_FORMAT(1, 2)]] void print_plain(const char* format, ...);
void vprint_plain(const char* format, va_list args);

// Millivolts as whole volts and tenths, both truncated, without the unit: 3250 shows as "3.2".
std::string volts_text(long long millivolts);

// "KESTO Terminal", then the port, the adapter, the activity text and the image file.
void set_title(const char* text);

// Procedures that exit_program runs first, in the order they were added: the parts below the
// exit (the serial port) give back what they hold without the exit knowing them. Adding the
// same procedure twice adds it once.
void add_exit_cleanup(void (*cleanup)());

// Runs the clean-ups, waits for a key as settings.anykey_mode says (never in an unattended run),
// rings the bell on failure and ends the process.
[[noreturn]] void exit_program(int code);

// Tests and fuzzers may catch the end of the process: when set, this is called with the
// process status instead of ending the process, and must not return (it throws or longjmps).
using ExitInterceptor = void (*)(int status);
extern ExitInterceptor exit_interceptor;
