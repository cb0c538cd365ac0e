#include "platform/posix/key_decoder.h"

#include "platform/pc_keys.h"

namespace {

using namespace pc_keys;

constexpr unsigned char ESC = 0x1B;
constexpr unsigned char DEL = 0x7F;
constexpr unsigned char BACKSPACE = 0x08;
constexpr unsigned char ENTER = 0x0D;

constexpr unsigned char CODE_SHIFT_TAB = 15;

constexpr Key NO_KEY = COUNT;
constexpr int NOT_A_MODIFIER = -1;

DecodedKey pair(int consumed, Bytes bytes) {
    DecodedKey result;
    result.consumed = consumed;
    result.length = 2;
    result.bytes[0] = bytes.lead;
    result.bytes[1] = bytes.code;
    return result;
}

DecodedKey single(int consumed, unsigned char byte) {
    DecodedKey result;
    result.consumed = consumed;
    result.length = 1;
    result.bytes[0] = byte;
    return result;
}

DecodedKey dropped(int consumed) {
    DecodedKey result;
    result.consumed = consumed;
    return result;
}

// The final letter after "ESC [" or "ESC O": cursor keys in normal and application mode, Home
// and End, and F1..F4.
Key key_for_letter(unsigned char letter) {
    switch (letter) {
        case 'A': return UP;
        case 'B': return DOWN;
        case 'C': return RIGHT;
        case 'D': return LEFT;
        case 'H': return HOME;
        case 'F': return END;
        case 'P': case 'Q': case 'R': case 'S': return static_cast<Key>(F1 + (letter - 'P'));
        default: return NO_KEY;
    }
}

// "ESC [ n ~": the editing block (the Linux console's and rxvt's Home and End too), F1..F12, and
// the Linux console's Shift+F1..F8 (which it sends as F13..F20).
Key key_for_number(int number, bool& shifted) {
    constexpr int SHIFTED_F[] = {25, 26, 28, 29, 31, 32, 33, 34};
    for (int i = 0; i < 8; ++i)
        if (number == SHIFTED_F[i]) return shifted = true, static_cast<Key>(F1 + i);
    switch (number) {
        case 1: case 7: return HOME;
        case 2: return INSERT;
        case 3: return DELETE_KEY;
        case 4: case 8: return END;
        case 5: return PAGE_UP;
        case 6: return PAGE_DOWN;
        case 11: case 12: case 13: case 14: case 15: return static_cast<Key>(F1 + number - 11);
        case 17: case 18: case 19: case 20: case 21: return static_cast<Key>(F1 + 5 + number - 17);
        case 23: return F11;
        case 24: return F12;
        default: return NO_KEY;
    }
}

// The keypad in application mode ("ESC O p" and so on) gives what it shows on its keys.
int keypad_character(unsigned char final_byte) {
    if (final_byte >= 'p' && final_byte <= 'y') return '0' + (final_byte - 'p');
    switch (final_byte) {
        case 'M': return ENTER;
        case 'j': return '*';
        case 'k': return '+';
        case 'l': return ',';
        case 'm': return '-';
        case 'n': return '.';
        case 'o': return '/';
        case 'X': return '=';
        default: return -1;
    }
}

// xterm's modifier parameter: 1 plus Shift 1, Alt 2, Ctrl 4, Meta 8 (taken as Alt).
int held_for(int modifier) {
    if (modifier < 1 || modifier > 16) return NOT_A_MODIFIER;
    const int bits = modifier - 1;
    if (bits & (2 | 8)) return ALT;
    if (bits & 4) return CTRL;
    if (bits & 1) return SHIFT;
    return ALONE;
}

constexpr int DEFAULT = -1;  // a parameter left out

// Up to two numeric parameters separated by ';'; false for anything else (private markers,
// intermediates, more parameters), which no key of the set sends.
bool read_parameters(const unsigned char* from, const unsigned char* to, int (&values)[2], int& count) {
    count = 0;
    values[0] = values[1] = DEFAULT;
    if (from == to) return true;
    count = 1;
    for (const unsigned char* c = from; c < to; ++c) {
        if (*c == ';') {
            if (++count > 2) return false;
            continue;
        }
        if (*c < '0' || *c > '9') return false;
        int& value = values[count - 1];
        // Held below any overflow; every number past the table's means no key alike.
        if (value == DEFAULT) value = 0;
        if (value < 1000) value = value * 10 + (*c - '0');
    }
    return true;
}

DecodedKey key_with(int consumed, Key key, int modifier, bool shifted = false) {
    if (key == NO_KEY) return dropped(consumed);
    if (modifier == DEFAULT) modifier = 1;
    if (shifted && modifier >= 1 && modifier <= 16) modifier = ((modifier - 1) | 1) + 1;
    const int held = held_for(modifier);
    if (held == NOT_A_MODIFIER) return dropped(consumed);
    return pair(consumed, KEYS[key].with[held]);
}

// A whole sequence "ESC [ parameters final" or "ESC O parameters final".
DecodedKey decode_final(unsigned char intro, const int (&values)[2], int count, unsigned char final_byte, int length) {
    if (intro == '[') {
        if (final_byte == '~') {
            if (values[0] == DEFAULT) return dropped(length);
            bool shifted = false;
            const Key key = key_for_number(values[0], shifted);
            return key_with(length, key, count == 2 ? values[1] : 1, shifted);
        }
        if (final_byte == 'Z') return count == 0 ? pair(length, {FN, CODE_SHIFT_TAB}) : dropped(length);
        // "ESC [ 1 ; m A": a cursor key, Home, End or F1..F4 with modifiers.
        if (count == 1 || (count == 2 && values[0] != DEFAULT && values[0] != 1)) return dropped(length);
        return key_with(length, key_for_letter(final_byte), values[1]);
    }
    // After "ESC O" a lone number is the modifier ("ESC O 5 A" from older terminals).
    const int modifier = count == 1 ? values[0] : values[1];
    if (count == 2 && values[0] != DEFAULT && values[0] != 1) return dropped(length);
    const int character = keypad_character(final_byte);
    if (character >= 0) return single(length, static_cast<unsigned char>(character));
    return key_with(length, key_for_letter(final_byte), modifier);
}

bool is_parameter(unsigned char byte) { return byte >= 0x20 && byte <= 0x3F; }
bool is_final(unsigned char byte) { return byte >= 0x40 && byte <= 0x7E; }

DecodedKey decode_sequence(const unsigned char* input, int count, bool input_ended) {
    const unsigned char intro = input[1];
    // The Linux console's F1..F5: "ESC [ [ A".."ESC [ [ E".
    if (intro == '[' && count >= 3 && input[2] == '[') {
        if (count < 4) return input_ended ? dropped(3) : DecodedKey{};
        if (input[3] >= 'A' && input[3] <= 'E') return key_with(4, static_cast<Key>(F1 + (input[3] - 'A')), 1);
        return dropped(is_final(input[3]) ? 4 : 3);
    }
    int i = 2;
    while (i < count && is_parameter(input[i])) ++i;
    if (i == count) return input_ended || count >= KEY_SEQUENCE_MAX ? dropped(count) : DecodedKey{};
    // Broken off by a byte that cannot be part of it: that byte is a key of its own.
    if (!is_final(input[i])) return dropped(i);
    const int length = i + 1;
    int values[2];
    int parameters = 0;
    if (length > KEY_SEQUENCE_MAX || !read_parameters(input + 2, input + i, values, parameters))
        return dropped(length);
    return decode_final(intro, values, parameters, input[i], length);
}

DecodedKey decode_escape(const unsigned char* input, int count, bool input_ended) {
    if (count == 1) return input_ended ? single(1, ESC) : DecodedKey{};
    const unsigned char second = input[1];
    // Nothing after "ESC O" within the pause: that was Alt+O, not the start of a key.
    if (second == 'O' && count == 2 && input_ended) return pair(2, {FN, LETTER_SCAN_CODES['O' - 'A']});
    if (second == '[' || second == 'O') return decode_sequence(input, count, input_ended);
    // Desktop terminals keep F1 and F10 for themselves, so ESC and a digit stand for F1..F10.
    if (second >= '1' && second <= '9') return key_with(2, static_cast<Key>(F1 + (second - '1')), 1);
    if (second == '0') return key_with(2, static_cast<Key>(F1 + 9), 1);
    if (second >= 'a' && second <= 'z') return pair(2, {FN, LETTER_SCAN_CODES[second - 'a']});
    if (second >= 'A' && second <= 'Z') return pair(2, {FN, LETTER_SCAN_CODES[second - 'A']});
    // ESC and anything else: the Esc key, then the rest decoded on its own.
    return single(1, ESC);
}

}  // namespace

DecodedKey decode_key(const unsigned char* input, int count, bool input_ended) {
    if (count <= 0) return {};
    const unsigned char first = input[0];
    if (first == ESC) return decode_escape(input, count, input_ended);
    if (first == DEL) return single(1, BACKSPACE);
    if (first == 0) return pair(1, {FN, CODE_CTRL_AT});
    return single(1, first);
}
