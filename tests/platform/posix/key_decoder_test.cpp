#include "platform/posix/key_decoder.h"

#include <gtest/gtest.h>

#include "fuzz/key_decoder_entry.h"
#include "fuzz/replay.h"

#include <string>
#include <vector>

using namespace std::string_literals;

// Decodes a burst of console input as the terminal does, the pause after the last byte included.
static std::vector<int> keys_of(const std::string& input) {
    std::vector<int> keys;
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    for (int at = 0, count = static_cast<int>(input.size()); at < count;) {
        DecodedKey key = decode_key(bytes + at, count - at, false);
        if (key.consumed == 0) key = decode_key(bytes + at, count - at, true);
        if (key.consumed == 0) return {-1};
        keys.insert(keys.end(), key.bytes, key.bytes + key.length);
        at += key.consumed;
    }
    return keys;
}
static std::vector<int> F(int code) { return {0, code}; }
static std::vector<int> E(int code) { return {0xE0, code}; }

TEST(KeyDecoder, Sequences) {
    const unsigned char partial[] = {0x1b, '[', '1'};  // waits for the rest until the pause
    EXPECT_EQ(decode_key(partial, 1, false).consumed + decode_key(partial, 3, false).consumed, 0);
    const std::pair<std::string, std::vector<int>> cases[] = {
        {"\x1bOP", F(59)}, {"\x1bOS", F(62)}, {"\x1b[15~", F(63)}, {"\x1b[17~", F(64)}, {"\x1b[21~", F(68)},
        {"\x1b[11~", F(59)}, {"\x1b[14~", F(62)}, {"\x1b[[A", F(59)}, {"\x1b[[E", F(63)}, {"\x1b" "1", F(59)},
        {"\x1b" "9", F(67)}, {"\x1b" "0", F(68)}, {"\x1b[A", E(72)}, {"\x1bOA", E(72)}, {"\x1b[B", E(80)},
        {"\x1bOC", E(77)}, {"\x1b[D", E(75)}, {"\x1bOH", E(71)}, {"\x1b[F", E(79)}, {"\x1b[1~", E(71)},
        {"\x1b[2~", E(82)}, {"\x1b[3~", E(83)}, {"\x1b[4~", E(79)}, {"\x1b[5~", E(73)}, {"\x1b[6~", E(81)},
        {"\x1b[7~", E(71)}, {"\x1b[8~", E(79)}, {"\x1bo", F(24)}, {"\x1bX", F(45)}, {"\x1bq", F(16)},
        {"\x1bz", F(44)}, {"\x1bO", F(24)}, {"\x1b", {27}}, {"\x1b\x1b[A", {27, 0xE0, 72}}, {"\x1b ", {27, ' '}},
        {"\x7f", {8}}, {"\0x"s, {0, 3, 'x'}}, {"ls\r\b\t\x18", {}}, {"\xD0\x9F", {0xD0, 0x9F}}, {"\x1b[99~", {}},
        {"\x1b[Z", {}}, {"\x1bOM", {}}, {"\x1b[[Z", {}}, {"\x1b[1", {}}, {"\x1b[" + std::string(30, '1') + "~", {}},
        {"\x1b[1\x18", {27, '[', '1', 24}}, {"a\x1bOPb\x1b[Ac", {'a', 0, 59, 'b', 0xE0, 72, 'c'}}, {"\x1b[1;5A", {}},
    };
    for (const auto& [input, keys] : cases)  // an empty row: the bytes pass on as they came (all below 0x80)
        EXPECT_EQ(keys_of(input), keys.empty() ? std::vector<int>(input.begin(), input.end()) : keys) << input;
}

TEST(FuzzRegressions, KeyDecoder) { replay_all("key_decoder", fuzz_key_decoder); }

// The two faults the key decoder fuzzer found, spelled out.
static std::vector<int> keys_after_pause(const std::string& input) {
    std::vector<unsigned char> raw(input.begin(), input.end());
    std::vector<unsigned char> keys;
    fuzz_decode_waiting(raw, keys, true);
    return std::vector<int>(keys.begin(), keys.end());
}

TEST(FuzzRegressions, NulInsideAnUnknownSequenceIsNotPassedOnBare) {
    // The NUL becomes 0 and 3; passed on bare it would make "x" read as a key code.
    EXPECT_EQ(keys_after_pause(std::string("\x1b[[\0x", 5)), (std::vector<int>{0x1B, '[', '[', 0, 3, 'x'}));
    EXPECT_EQ(keys_after_pause(std::string("\x1bO\0x", 4)), (std::vector<int>{0x1B, 'O', 0, 3, 'x'}));
}

TEST(FuzzRegressions, LongNumberInASequenceIsPassedOn) {
    // Thirteen digits overflowed the number read before it was looked up.
    const std::string sequence = "\x1b[2666666666666~";
    EXPECT_EQ(keys_after_pause(sequence), std::vector<int>(sequence.begin(), sequence.end()));
    EXPECT_EQ(keys_after_pause("\x1b[0000000000015~"), (std::vector<int>{0, 63}));  // F5, however padded
}
