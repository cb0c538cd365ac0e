#include "platform/posix/key_decoder.h"

#include <cstring>

namespace {

constexpr unsigned char ESC = 0x1B;
constexpr unsigned char DEL = 0x7F;
constexpr unsigned char BACKSPACE = 0x08;

constexpr unsigned char CODE_F1 = KEY_F1;
constexpr unsigned char CODE_F10 = KEY_F10;

// Cursor and editing keys.
constexpr unsigned char CODE_UP = 72;
constexpr unsigned char CODE_DOWN = 80;
constexpr unsigned char CODE_LEFT = 75;
constexpr unsigned char CODE_RIGHT = 77;
constexpr unsigned char CODE_HOME = 71;
constexpr unsigned char CODE_END = 79;
constexpr unsigned char CODE_INSERT = 82;
constexpr unsigned char CODE_DELETE = 83;
constexpr unsigned char CODE_PAGE_UP = 73;
constexpr unsigned char CODE_PAGE_DOWN = 81;

// A NUL typed on the keyboard (Ctrl-@) comes as 0 and 3, as on the PC console, so that it
// cannot swallow the key after it as a code.
constexpr unsigned char CODE_CTRL_AT = 3;

// PC keyboard scan codes of the letters A..Z, for Alt with a letter.
constexpr unsigned char LETTER_SCAN_CODES[26] = {
    30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,  // A..M
    49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44,  // N..Z
};

DecodedKey key(int consumed, unsigned char lead, unsigned char code) {
    DecodedKey result;
    result.consumed = consumed;
    result.length = 2;
    result.bytes[0] = lead;
    result.bytes[1] = code;
    return result;
}

DecodedKey single(int consumed, unsigned char byte) {
    DecodedKey result;
    result.consumed = consumed;
    result.length = 1;
    result.bytes[0] = byte;
    return result;
}

// Bytes the decoder does not know go on to the board as they came.
DecodedKey pass_on(const unsigned char* input, int count) {
    // A NUL ends what goes on as it came: passed on, it would make the next key byte read as a
    // key code; left for the next step, it becomes 0 and 3 like any other NUL.
    if (const void* nul = std::memchr(input, 0, static_cast<std::size_t>(count)))
        count = static_cast<int>(static_cast<const unsigned char*>(nul) - input);
    DecodedKey result;
    result.consumed = count;
    result.length = count;
    std::memcpy(result.bytes, input, static_cast<std::size_t>(count));
    return result;
}

// The final letter after "ESC [" or "ESC O": cursor keys in normal and application mode, Home
// and End, and the xterm F1..F4.
int code_for_letter(unsigned char letter) {
    switch (letter) {
        case 'A': return CODE_UP;
        case 'B': return CODE_DOWN;
        case 'C': return CODE_RIGHT;
        case 'D': return CODE_LEFT;
        case 'H': return CODE_HOME;
        case 'F': return CODE_END;
        case 'P': return 0x100 | CODE_F1;
        case 'Q': return 0x100 | (CODE_F1 + 1);
        case 'R': return 0x100 | (CODE_F1 + 2);
        case 'S': return 0x100 | (CODE_F1 + 3);
        default: return -1;
    }
}

// "ESC [ n ~": the editing block and F1..F10 (rxvt's F1..F4, then xterm and the Linux console).
int code_for_number(int number) {
    switch (number) {
        case 1: case 7: return CODE_HOME;
        case 2: return CODE_INSERT;
        case 3: return CODE_DELETE;
        case 4: case 8: return CODE_END;
        case 5: return CODE_PAGE_UP;
        case 6: return CODE_PAGE_DOWN;
        case 11: return 0x100 | (CODE_F1 + 0);
        case 12: return 0x100 | (CODE_F1 + 1);
        case 13: return 0x100 | (CODE_F1 + 2);
        case 14: return 0x100 | (CODE_F1 + 3);
        case 15: return 0x100 | (CODE_F1 + 4);
        case 17: return 0x100 | (CODE_F1 + 5);
        case 18: return 0x100 | (CODE_F1 + 6);
        case 19: return 0x100 | (CODE_F1 + 7);
        case 20: return 0x100 | (CODE_F1 + 8);
        case 21: return 0x100 | (CODE_F1 + 9);
        default: return -1;
    }
}

// Codes with 0x100 set are function keys (lead 0), the others editing keys (lead 0xE0).
DecodedKey from_code(int consumed, int code) {
    if (code & 0x100) return key(consumed, KEY_LEAD_FUNCTION, static_cast<unsigned char>(code & 0xFF));
    return key(consumed, KEY_LEAD_EDITING, static_cast<unsigned char>(code));
}

DecodedKey decode_csi(const unsigned char* input, int count, bool input_ended) {
    // The Linux console's F1..F5: "ESC [ [ A".."ESC [ [ E".
    if (count >= 3 && input[2] == '[') {
        if (count < 4) return input_ended ? pass_on(input, count) : DecodedKey{};
        if (input[3] >= 'A' && input[3] <= 'E') {
            return key(4, KEY_LEAD_FUNCTION, static_cast<unsigned char>(CODE_F1 + (input[3] - 'A')));
        }
        return pass_on(input, 4);
    }
    // Parameters and intermediates, then one final byte 0x40..0x7E.
    int i = 2;
    while (i < count && i < KEY_SEQUENCE_MAX && input[i] >= 0x20 && input[i] <= 0x3F) ++i;
    if (i >= KEY_SEQUENCE_MAX) return pass_on(input, i);
    if (i == count) return input_ended ? pass_on(input, count) : DecodedKey{};
    const unsigned char final_byte = input[i];
    const int length = i + 1;
    if (final_byte < 0x40 || final_byte > 0x7E) return pass_on(input, i);  // broken off: pass what came
    if (length == 3) {
        const int code = code_for_letter(final_byte);
        if (code >= 0) return from_code(length, code);
        return pass_on(input, length);
    }
    if (final_byte == '~') {
        int number = 0;
        for (int j = 2; j < i; ++j) {
            if (input[j] < '0' || input[j] > '9') return pass_on(input, length);
            // Held below any overflow; every number past the table's means no key alike.
            if (number < 1000) number = number * 10 + (input[j] - '0');
        }
        const int code = code_for_number(number);
        if (code >= 0) return from_code(length, code);
    }
    return pass_on(input, length);
}

DecodedKey decode_escape(const unsigned char* input, int count, bool input_ended) {
    if (count == 1) return input_ended ? single(1, ESC) : DecodedKey{};
    const unsigned char second = input[1];
    if (second == '[') return decode_csi(input, count, input_ended);
    if (second == 'O') {
        if (count == 2) {
            // Nothing after "ESC O" within the pause: that was Alt+O, not the start of a key.
            return input_ended ? key(2, KEY_LEAD_FUNCTION, LETTER_SCAN_CODES['O' - 'A']) : DecodedKey{};
        }
        const int code = code_for_letter(input[2]);
        if (code >= 0) return from_code(3, code);
        return pass_on(input, 3);
    }
    // Desktop terminals keep F1 and F10 for themselves, so ESC and a digit stand for F1..F10.
    if (second >= '1' && second <= '9') return key(2, KEY_LEAD_FUNCTION, static_cast<unsigned char>(CODE_F1 + (second - '1')));
    if (second == '0') return key(2, KEY_LEAD_FUNCTION, CODE_F10);
    if (second >= 'a' && second <= 'z') return key(2, KEY_LEAD_FUNCTION, LETTER_SCAN_CODES[second - 'a']);
    if (second >= 'A' && second <= 'Z') return key(2, KEY_LEAD_FUNCTION, LETTER_SCAN_CODES[second - 'A']);
    // ESC and anything else: the Esc key, then the rest decoded on its own.
    return single(1, ESC);
}

}  // namespace

DecodedKey decode_key(const unsigned char* input, int count, bool input_ended) {
    if (count <= 0) return {};
    const unsigned char first = input[0];
    if (first == ESC) return decode_escape(input, count, input_ended);
    if (first == DEL) return single(1, BACKSPACE);
    if (first == 0) return key(1, KEY_LEAD_FUNCTION, CODE_CTRL_AT);
    return single(1, first);
}
