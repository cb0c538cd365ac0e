// The PC console's bytes for the keys without a character, which each system's console input
// turns its own key events into: the F-keys and the cursor and editing keys alone and with
// Shift, Ctrl or Alt, the letters' scan codes for Alt with a letter, and Ctrl-@.
#pragma once

#include "platform/console_keys.h"

namespace pc_keys {

enum Key : int { HOME, UP, PAGE_UP, LEFT, RIGHT, END, DOWN, PAGE_DOWN, INSERT, DELETE_KEY, F1, F11 = F1 + 10, F12, COUNT };

// With several held, Alt counts before Ctrl and Ctrl before Shift.
enum Held : int { ALONE, SHIFT, CTRL, ALT };

struct Bytes {
    unsigned char lead, code;
};

struct KeyBytes {
    Bytes with[4];  // by Held
};

constexpr unsigned char FN = KEY_LEAD_FUNCTION;
constexpr unsigned char ED = KEY_LEAD_EDITING;

// Shift does not change the cursor and editing keys; with Alt they come with the lead 0.
constexpr KeyBytes editing(unsigned char code, unsigned char ctrl, unsigned char alt) {
    return {{{ED, code}, {ED, code}, {ED, ctrl}, {FN, alt}}};
}

constexpr KeyBytes function(int n) {
    const auto code = [n](int first) { return static_cast<unsigned char>(first + n - 1); };
    return {{{FN, code(59)}, {FN, code(84)}, {FN, code(94)}, {FN, code(104)}}};
}

// The separate cursor and editing keys' bytes; their twins on the numeric pad (NumLock off)
// give the same codes with the lead 0.
inline constexpr KeyBytes KEYS[COUNT] = {
    editing(71, 119, 151), editing(72, 141, 152), editing(73, 132, 153), editing(75, 115, 155),
    editing(77, 116, 157), editing(79, 117, 159), editing(80, 145, 160), editing(81, 118, 161),
    editing(82, 146, 162), editing(83, 147, 163),
    function(1), function(2), function(3), function(4), function(5),
    function(6), function(7), function(8), function(9), function(10),
    // F11 and F12 came later than the others and have the editing keys' lead.
    {{{ED, 133}, {ED, 135}, {ED, 137}, {ED, 139}}},
    {{{ED, 134}, {ED, 136}, {ED, 138}, {ED, 140}}},
};

// Scan codes of the letters A..Z, for Alt with a letter.
inline constexpr unsigned char LETTER_SCAN_CODES[26] = {
    30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,  // A..M
    49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44,  // N..Z
};

// Ctrl-@ gives 0 and 3: a NUL of its own would swallow the key after it as a code.
inline constexpr unsigned char CODE_CTRL_AT = 3;

}  // namespace pc_keys
