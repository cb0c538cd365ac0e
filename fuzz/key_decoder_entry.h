// The console key decoder fed arbitrary bytes arriving in arbitrary chunks, with or without a
// pause after each. The input is a series of chunks: a header byte (low six bits: how many
// bytes follow; top bit: a pause follows them), then the bytes. Each decoded step must be one
// of: a single byte as the key table expects it, an escape sequence passed on exactly as it
// came, or a recognised key as a lead byte and a known code. So no byte is lost but those of a
// recognised sequence, and the key bytes read as _getch gives them never pair a stray 0 with
// the next key.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/posix/key_decoder.h"

inline bool fuzz_is_function_code(unsigned char code) {
    // Ctrl-@, F1..F10 and the scan codes of the letter keys (16..25, 30..38, 44..50).
    return code == 3 || (code >= 59 && code <= 68) || (code >= 16 && code <= 25) || (code >= 30 && code <= 38) ||
           (code >= 44 && code <= 50);
}

inline bool fuzz_is_editing_code(unsigned char code) {
    switch (code) {
        case 71: case 72: case 73: case 75: case 77: case 79: case 80: case 81: case 82: case 83: return true;
        default: return false;
    }
}

inline void fuzz_check_key_step(const std::vector<unsigned char>& raw, bool ended, const DecodedKey& key) {
    const int count = static_cast<int>(raw.size());
    FUZZ_CHECK(key.consumed >= 0 && key.consumed <= count);
    FUZZ_CHECK(key.length >= 0 && key.length <= KEY_OUTPUT_MAX);
    if (key.consumed == 0) {
        // Only the start of an escape sequence is held back, only until the pause, and never
        // longer than the longest sequence.
        FUZZ_CHECK(key.length == 0);
        FUZZ_CHECK(!ended);
        FUZZ_CHECK(raw[0] == 0x1B && count < KEY_SEQUENCE_MAX);
        return;
    }
    const unsigned char* out = key.bytes;
    if (key.consumed == 1) {
        const unsigned char byte = raw[0];
        if (byte == 0x00) {
            FUZZ_CHECK(key.length == 2 && out[0] == 0 && out[1] == 3);
        } else if (byte == 0x7F) {
            FUZZ_CHECK(key.length == 1 && out[0] == 8);
        } else {
            FUZZ_CHECK(key.length == 1 && out[0] == byte);
        }
        return;
    }
    FUZZ_CHECK(raw[0] == 0x1B);
    const bool passed_on = key.length == key.consumed && std::equal(out, out + key.length, raw.begin());
    if (passed_on) {
        // A 0 inside would make the next byte read as a key code.
        FUZZ_CHECK(std::find(out, out + key.length, 0) == out + key.length);
        return;
    }
    FUZZ_CHECK(key.length == 2);
    FUZZ_CHECK((out[0] == 0x00 && fuzz_is_function_code(out[1])) || (out[0] == 0xE0 && fuzz_is_editing_code(out[1])));
}

inline void fuzz_decode_waiting(std::vector<unsigned char>& raw, std::vector<unsigned char>& keys, bool ended) {
    while (!raw.empty()) {
        const DecodedKey key = decode_key(raw.data(), static_cast<int>(raw.size()), ended);
        fuzz_check_key_step(raw, ended, key);
        if (key.consumed == 0) return;
        keys.insert(keys.end(), key.bytes, key.bytes + key.length);
        raw.erase(raw.begin(), raw.begin() + key.consumed);
    }
}

inline void fuzz_key_decoder(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> raw;
    std::vector<unsigned char> keys;
    std::size_t at = 0;
    while (at < size) {
        const unsigned header = data[at++];
        const std::size_t length = std::min<std::size_t>(header & 0x3F, size - at);
        raw.insert(raw.end(), data + at, data + at + length);
        at += length;
        fuzz_decode_waiting(raw, keys, false);
        if (header & 0x80) fuzz_decode_waiting(raw, keys, true);
    }
    fuzz_decode_waiting(raw, keys, true);
    FUZZ_CHECK(raw.empty());
    // Read as _getch would: a 0 is always followed by a known code.
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] != 0) continue;
        FUZZ_CHECK(i + 1 < keys.size() && fuzz_is_function_code(keys[i + 1]));
        ++i;
    }
}
