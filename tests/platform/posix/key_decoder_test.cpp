#include "platform/posix/key_decoder.h"

#include <gtest/gtest.h>

#include "fuzz/key_decoder_entry.h"
#include "fuzz/replay.h"

#include <string>
#include <vector>

using namespace std::string_literals;

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
static const std::vector<int> NOTHING;

TEST(KeyDecoder, WaitsForTheRestOfASequenceUntilThePause) {
    const unsigned char partial[] = {0x1b, '[', '1', ';', '5'};
    for (int count = 1; count <= 5; ++count) EXPECT_EQ(decode_key(partial, count, false).consumed, 0) << count;
    EXPECT_EQ(decode_key(partial, 5, true).consumed, 5);  // then dropped
}

TEST(KeyDecoder, KeysBecomeThePcConsolesBytes) {
    const std::pair<std::string, std::vector<int>> cases[] = {
        // F1..F12 in their encodings, and Esc with a digit for the F-keys a desktop keeps.
        {"\x1bOP", F(59)}, {"\x1bOS", F(62)}, {"\x1b[11~", F(59)}, {"\x1b[14~", F(62)}, {"\x1b[[A", F(59)},
        {"\x1b[[E", F(63)}, {"\x1b[15~", F(63)}, {"\x1b[17~", F(64)}, {"\x1b[21~", F(68)}, {"\x1b[23~", E(133)},
        {"\x1b[24~", E(134)}, {"\x1b" "1", F(59)}, {"\x1b" "9", F(67)}, {"\x1b" "0", F(68)},
        // With Shift, Ctrl, Alt: xterm's modifier parameter, older terminals' "ESC O m P", and
        // the Linux console's Shift+F1..F8 as F13..F20. Alt counts before Ctrl, Ctrl before Shift.
        {"\x1b[1;2P", F(84)}, {"\x1bO2P", F(84)}, {"\x1b[25~", F(84)}, {"\x1b[34~", F(91)}, {"\x1b[21;2~", F(93)},
        {"\x1b[1;5P", F(94)}, {"\x1b[21;5~", F(103)}, {"\x1b[1;3P", F(104)}, {"\x1b[21;3~", F(113)},
        {"\x1b[1;7Q", F(105)}, {"\x1b[15;6~", F(98)}, {"\x1b[1;9S", F(107)}, {"\x1b[23;2~", E(135)},
        {"\x1b[24;5~", E(138)}, {"\x1b[23;3~", E(139)},
        // Cursor and editing keys: normal and application mode, Home and End in every encoding.
        {"\x1b[A", E(72)}, {"\x1bOA", E(72)}, {"\x1b[B", E(80)}, {"\x1bOC", E(77)}, {"\x1b[D", E(75)},
        {"\x1b[H", E(71)}, {"\x1bOH", E(71)}, {"\x1b[1~", E(71)}, {"\x1b[7~", E(71)}, {"\x1b[F", E(79)},
        {"\x1bOF", E(79)}, {"\x1b[4~", E(79)}, {"\x1b[8~", E(79)}, {"\x1b[2~", E(82)}, {"\x1b[3~", E(83)},
        {"\x1b[5~", E(73)}, {"\x1b[6~", E(81)},
        // Shift leaves them as they are; Ctrl gives 0xE0 and its own code, Alt 0 and one.
        {"\x1b[1;2A", E(72)}, {"\x1b[1;5A", E(141)}, {"\x1b[1;5B", E(145)}, {"\x1b[1;5C", E(116)},
        {"\x1b[1;5D", E(115)}, {"\x1b[1;5H", E(119)}, {"\x1b[1;5F", E(117)}, {"\x1b[5;5~", E(132)},
        {"\x1b[6;5~", E(118)}, {"\x1b[2;5~", E(146)}, {"\x1b[3;5~", E(147)}, {"\x1bO5A", E(141)},
        {"\x1b[1;3A", F(152)}, {"\x1b[1;3D", F(155)}, {"\x1b[3;3~", F(163)}, {"\x1b[Z", F(15)},
        // The keypad in application mode gives its characters.
        {"\x1bOp", {'0'}}, {"\x1bOy", {'9'}}, {"\x1bOM", {13}}, {"\x1bOk", {'+'}}, {"\x1bOm", {'-'}},
        {"\x1bOj", {'*'}}, {"\x1bOo", {'/'}}, {"\x1bOn", {'.'}},
        // Alt with a letter; a lone Esc after the pause; plain bytes.
        {"\x1bO", F(24)}, {"\x1b", {27}},
        {"\x1b\x1b[A", {27, 0xE0, 72}}, {"\x1b ", {27, ' '}}, {"\x7f", {8}}, {"\0x"s, {0, 3, 'x'}},
        {"ls\r\b\t\x18", {'l', 's', 13, 8, 9, 24}}, {"\xD0\x9F", {0xD0, 0x9F}},
        {"a\x1bOPb\x1b[Ac", {'a', 0, 59, 'b', 0xE0, 72, 'c'}},
        // Unknown sequences, unfinished ones and ones broken off are dropped, never sent.
        {"\x1b[99~", NOTHING}, {"\x1b[1;99A", NOTHING}, {"\x1bO0S", NOTHING}, {"\x1b[15;17~", NOTHING}, {"\x1b[2;5A", NOTHING}, {"\x1b[?1;2c", NOTHING},
        {"\x1b[E", NOTHING}, {"\x1b[G", NOTHING}, {"\x1b[[Z", NOTHING}, {"\x1b[1", NOTHING}, {"\x1b[", NOTHING},
        {"\x1b[1;2;3A", NOTHING}, {"\x1b[" + std::string(30, '1') + "~", NOTHING},
        {"\x1b[1\x18", {24}}, {"\x1b[[\x18", {24}}, {"\x1bO\x18", {24}}, {"\x1b[1\x1b[A", E(72)},
        // Found by the fuzzer: a NUL breaks a sequence off (taken in, it made "x" a key code), and a
        // long number overflowed before it was looked up.
        {"\x1b[[\0x"s, {0, 3, 'x'}}, {"\x1bO\0x"s, {0, 3, 'x'}}, {"\x1b[2666666666666~", NOTHING},
        {"\x1b[0000000000015~", F(63)},
    };
    for (const auto& [input, keys] : cases) EXPECT_EQ(keys_of(input), keys) << input;
}

// xterm's modifier parameter is 1 plus Shift 1, Alt 2, Ctrl 4 and Meta 8 (taken as Alt).
TEST(KeyDecoder, EveryXtermModifierValueIsAKey) {
    const std::vector<int> up[] = {E(72),  E(72),  F(152), F(152), E(141), E(141), F(152), F(152),
                                   F(152), F(152), F(152), F(152), F(152), F(152), F(152), F(152)};
    const std::vector<int> f5[] = {F(63),  F(88),  F(108), F(108), F(98),  F(98),  F(108), F(108),
                                   F(108), F(108), F(108), F(108), F(108), F(108), F(108), F(108)};
    for (int modifier = 1; modifier <= 16; ++modifier) {
        const std::string m = std::to_string(modifier);
        EXPECT_EQ(keys_of("\x1b[1;" + m + "A"), up[modifier - 1]) << modifier;
        EXPECT_EQ(keys_of("\x1b[15;" + m + "~"), f5[modifier - 1]) << modifier;
    }
    for (const char* outside : {"0", "17"}) {
        EXPECT_EQ(keys_of("\x1b[1;" + std::string(outside) + "A"), NOTHING) << outside;
        EXPECT_EQ(keys_of("\x1b[15;" + std::string(outside) + "~"), NOTHING) << outside;
    }
}

// Scan codes follow the rows of a PC keyboard.
TEST(KeyDecoder, AltWithEachLetterGivesItsScanCode) {
    for (const auto& [row, first] : {std::pair{"qwertyuiop", 16}, {"asdfghjkl", 30}, {"zxcvbnm", 44}})
        for (int i = 0; row[i]; ++i)
            for (const char letter : {row[i], static_cast<char>(row[i] - 'a' + 'A')})
                EXPECT_EQ(keys_of(std::string("\x1b") + letter), F(first + i)) << letter;
}

TEST(FuzzRegressions, KeyDecoder) { replay_all("key_decoder", fuzz_key_decoder); }
