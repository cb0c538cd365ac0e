// Text helpers for the command line: ASCII-only case folding and the C library's atol reading.
#pragma once

// Case ignored for the letters A to Z only, whatever the locale says.
bool ascii_equal(const char* text, const char* word);
// True when text begins with word, case ignored.
bool ascii_starts_with(const char* text, const char* word);

// Leading white space, an optional sign, then decimal digits up to the first other character;
// no digits give 0. Wraps at the width of long (32 bits on Windows, 64 on 64-bit Linux) instead
// of failing on overflow, so callers that need a range check it before narrowing.
long read_integer(const char* text);

// The same reading held to -limit..limit instead of wrapping, for a number that is checked
// against a range afterwards: no digit string, however long, comes back inside the range.
// limit stays below LLONG_MAX / 10.
long long read_integer_bounded(const char* text, long long limit);
