// Turns what a terminal sends for a key press into the bytes the terminal's key table expects,
// as the PC console's _getch gives them: a character as itself, and a key without a character
// as a lead byte and a code (0 and 59..68 for F1..F10, 0 and a scan code for Alt with a letter,
// 0xE0 and a code for the cursor and editing keys, F11 and F12). The xterm and Linux console
// sequences are known, with Shift, Ctrl and Alt; a sequence that is not known is dropped, as
// the PC console has no bytes for such a key.
#pragma once

#include "platform/console_keys.h"
#include "platform/terminal_wait.h"

// The longest escape sequence the decoder waits for; a longer one is dropped.
inline constexpr int KEY_SEQUENCE_MAX = 16;

// The most key bytes one step can give: a lead byte and a code.
inline constexpr int KEY_OUTPUT_MAX = 2;
static_assert(KEY_OUTPUT_MAX <= CONSOLE_KEY_MAX);

struct DecodedKey {
    int consumed = 0;   // input bytes used; 0 means wait for more input
    int length = 0;     // key bytes in `bytes`; 0 with bytes consumed: an unknown sequence dropped
    unsigned char bytes[KEY_OUTPUT_MAX] = {};
};

// Decodes the key at the start of input[0..count). `input_ended` says that nothing more came
// within the short pause after the last byte, so an ESC on its own is the Esc key and an
// unfinished sequence is dropped. With count 0 nothing is consumed.
DecodedKey decode_key(const unsigned char* input, int count, bool input_ended);
