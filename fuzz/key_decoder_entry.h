// The console key decoder fed chunks: a header byte (low six bits: how many bytes follow; top
// bit: a pause follows them), then the bytes. As no code a step gives is 0, the key bytes read
// as _getch gives them never pair a stray 0 with the next key.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/posix/key_decoder.h"

// Ctrl-@, Shift+Tab, the scan codes of the letter keys (16..25, 30..38, 44..50), F1..F10 alone and
// with Shift, Ctrl and Alt (59..68, 84..113), Alt with a cursor or editing key (151..163).
inline bool fuzz_is_function_code(unsigned char code) {
    return code == 3 || code == 15 || (code >= 16 && code <= 25) || (code >= 30 && code <= 38) ||
           (code >= 44 && code <= 50) || (code >= 59 && code <= 68) || (code >= 84 && code <= 113) ||
           (code >= 151 && code <= 163 && code != 154 && code != 156 && code != 158);
}

// The cursor and editing keys alone (71..83) and with Ctrl; F11 and F12 alone and with Shift,
// Ctrl and Alt (133..140).
inline bool fuzz_is_editing_code(unsigned char code) {
    return (code >= 71 && code <= 83 && code != 74 && code != 76 && code != 78) || (code >= 115 && code <= 119) ||
           (code >= 132 && code <= 141) || (code >= 145 && code <= 147);
}

inline void fuzz_check_key_step(const std::vector<unsigned char>& raw, bool ended, const DecodedKey& key) {
    const int count = static_cast<int>(raw.size());
    FUZZ_CHECK(key.consumed >= 0 && key.consumed <= count);
    FUZZ_CHECK(key.length >= 0 && key.length <= KEY_OUTPUT_MAX);
    if (key.consumed == 0) {
        // Only the start of an escape sequence is held back, and only until the pause.
        FUZZ_CHECK(key.length == 0);
        FUZZ_CHECK(!ended);
        FUZZ_CHECK(raw[0] == 0x1B && count < KEY_SEQUENCE_MAX);
        return;
    }
    const unsigned char* out = key.bytes;
    if (key.consumed == 1) {
        // A byte alone is itself, but for NUL (Ctrl-@, 0 and 3) and DEL (BS).
        const unsigned char byte = raw[0];
        const unsigned char expected[] = {byte == 0x7F ? static_cast<unsigned char>(8) : byte, 3};
        FUZZ_CHECK(key.length == (byte == 0 ? 2 : 1) && std::memcmp(out, expected, key.length) == 0);
        return;
    }
    FUZZ_CHECK(raw[0] == 0x1B);
    // A control byte is a key of its own.
    for (int i = 1; i < key.consumed; ++i) FUZZ_CHECK(raw[i] >= 0x20 && raw[i] < 0x7F);
    if (key.length == 0) return;  // an unknown sequence, dropped
    if (key.length == 1) {
        FUZZ_CHECK(out[0] == '\r' || (out[0] != 0 && std::strchr("0123456789*+,-./=", out[0]) != nullptr));
        return;
    }
    FUZZ_CHECK(key.length == 2);
    FUZZ_CHECK((out[0] == 0x00 && fuzz_is_function_code(out[1])) || (out[0] == 0xE0 && fuzz_is_editing_code(out[1])));
}

inline void fuzz_decode_waiting(std::vector<unsigned char>& raw, bool ended) {
    while (!raw.empty()) {
        const DecodedKey key = decode_key(raw.data(), static_cast<int>(raw.size()), ended);
        fuzz_check_key_step(raw, ended, key);
        if (key.consumed == 0) return;
        raw.erase(raw.begin(), raw.begin() + key.consumed);
    }
}

inline void fuzz_key_decoder(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> raw;
    std::size_t at = 0;
    while (at < size) {
        const unsigned header = data[at++];
        const std::size_t length = std::min<std::size_t>(header & 0x3F, size - at);
        raw.insert(raw.end(), data + at, data + at + length);
        at += length;
        fuzz_decode_waiting(raw, false);
        if (header & 0x80) fuzz_decode_waiting(raw, true);
    }
    fuzz_decode_waiting(raw, true);
    FUZZ_CHECK(raw.empty());
}
