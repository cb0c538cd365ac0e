#include "terminal/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Decodes a whole burst of console input the way the terminal does, the pause after the last
// byte included, and gives the key bytes.
std::vector<int> keys_of(const std::string& input) {
    std::vector<int> keys;
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    int at = 0;
    const int count = static_cast<int>(input.size());
    while (at < count) {
        DecodedKey key = decode_key(bytes + at, count - at, false);
        if (key.consumed == 0) key = decode_key(bytes + at, count - at, true);
        EXPECT_GT(key.consumed, 0) << "stuck at " << at;
        if (key.consumed == 0) break;
        for (int i = 0; i < key.length; ++i) keys.push_back(key.bytes[i]);
        at += key.consumed;
    }
    return keys;
}

std::vector<int> function_key(int code) { return {0, code}; }
std::vector<int> editing_key(int code) { return {0xE0, code}; }

std::vector<int> bytes_of(const std::string& text) {
    std::vector<int> out;
    for (unsigned char c : text) out.push_back(c);
    return out;
}

TEST(KeyDecoder, FunctionKeysOfXterm) {
    EXPECT_EQ(keys_of("\x1bOP"), function_key(59));
    EXPECT_EQ(keys_of("\x1bOQ"), function_key(60));
    EXPECT_EQ(keys_of("\x1bOR"), function_key(61));
    EXPECT_EQ(keys_of("\x1bOS"), function_key(62));
    EXPECT_EQ(keys_of("\x1b[15~"), function_key(63));
    EXPECT_EQ(keys_of("\x1b[17~"), function_key(64));
    EXPECT_EQ(keys_of("\x1b[18~"), function_key(65));
    EXPECT_EQ(keys_of("\x1b[19~"), function_key(66));
    EXPECT_EQ(keys_of("\x1b[20~"), function_key(67));
    EXPECT_EQ(keys_of("\x1b[21~"), function_key(68));
}

TEST(KeyDecoder, FunctionKeysOfRxvtAndTheLinuxConsole) {
    EXPECT_EQ(keys_of("\x1b[11~"), function_key(59));
    EXPECT_EQ(keys_of("\x1b[12~"), function_key(60));
    EXPECT_EQ(keys_of("\x1b[13~"), function_key(61));
    EXPECT_EQ(keys_of("\x1b[14~"), function_key(62));
    EXPECT_EQ(keys_of("\x1b[[A"), function_key(59));
    EXPECT_EQ(keys_of("\x1b[[B"), function_key(60));
    EXPECT_EQ(keys_of("\x1b[[C"), function_key(61));
    EXPECT_EQ(keys_of("\x1b[[D"), function_key(62));
    EXPECT_EQ(keys_of("\x1b[[E"), function_key(63));
}

TEST(KeyDecoder, EscapeAndADigitStandForFunctionKeys) {
    for (int digit = 1; digit <= 9; ++digit) {
        EXPECT_EQ(keys_of(std::string("\x1b") + static_cast<char>('0' + digit)), function_key(58 + digit));
    }
    EXPECT_EQ(keys_of("\x1b" "0"), function_key(68));
}

TEST(KeyDecoder, CursorKeysInBothModes) {
    const struct {
        char letter;
        int code;
    } rows[] = {{'A', 72}, {'B', 80}, {'C', 77}, {'D', 75}, {'H', 71}, {'F', 79}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.letter);
        EXPECT_EQ(keys_of(std::string("\x1b[") + row.letter), editing_key(row.code));
        EXPECT_EQ(keys_of(std::string("\x1bO") + row.letter), editing_key(row.code));
    }
}

TEST(KeyDecoder, EditingBlock) {
    EXPECT_EQ(keys_of("\x1b[1~"), editing_key(71));
    EXPECT_EQ(keys_of("\x1b[7~"), editing_key(71));
    EXPECT_EQ(keys_of("\x1b[2~"), editing_key(82));
    EXPECT_EQ(keys_of("\x1b[3~"), editing_key(83));
    EXPECT_EQ(keys_of("\x1b[4~"), editing_key(79));
    EXPECT_EQ(keys_of("\x1b[8~"), editing_key(79));
    EXPECT_EQ(keys_of("\x1b[5~"), editing_key(73));
    EXPECT_EQ(keys_of("\x1b[6~"), editing_key(81));
}

TEST(KeyDecoder, AltWithALetterGivesItsScanCode) {
    EXPECT_EQ(keys_of("\x1bo"), function_key(24));
    EXPECT_EQ(keys_of("\x1bx"), function_key(45));
    EXPECT_EQ(keys_of("\x1bq"), function_key(16));
    EXPECT_EQ(keys_of("\x1b" "a"), function_key(30));
    EXPECT_EQ(keys_of("\x1bm"), function_key(50));
    EXPECT_EQ(keys_of("\x1bz"), function_key(44));
    EXPECT_EQ(keys_of("\x1bX"), function_key(45));
    // Alt+Shift+O is "ESC O" with nothing after it.
    EXPECT_EQ(keys_of("\x1bO"), function_key(24));
}

TEST(KeyDecoder, LoneEscapeWaitsForThePause) {
    const unsigned char esc[] = {0x1b};
    EXPECT_EQ(decode_key(esc, 1, false).consumed, 0);
    const DecodedKey key = decode_key(esc, 1, true);
    EXPECT_EQ(key.consumed, 1);
    ASSERT_EQ(key.length, 1);
    EXPECT_EQ(key.bytes[0], 27);

    const unsigned char partial[] = {0x1b, '[', '1'};
    EXPECT_EQ(decode_key(partial, 3, false).consumed, 0);
    EXPECT_EQ(decode_key(partial, 2, false).consumed, 0);
    EXPECT_EQ(keys_of("\x1b[1"), bytes_of("\x1b[1"));
    const unsigned char console_f[] = {0x1b, '[', '['};
    EXPECT_EQ(decode_key(console_f, 3, false).consumed, 0);
}

TEST(KeyDecoder, EscapeBeforeAnotherEscapeIsTheEscKey) {
    EXPECT_EQ(keys_of("\x1b\x1b[A"), (std::vector<int>{27, 0xE0, 72}));
    EXPECT_EQ(keys_of("\x1b "), (std::vector<int>{27, ' '}));
}

TEST(KeyDecoder, OrdinaryBytes) {
    EXPECT_EQ(keys_of("ls\r"), bytes_of("ls\r"));
    EXPECT_EQ(keys_of("\x7f"), (std::vector<int>{8}));
    EXPECT_EQ(keys_of("\b\t\x18\x1d\x03"), (std::vector<int>{8, 9, 24, 29, 3}));
    EXPECT_EQ(keys_of("\xD0\x9F"), (std::vector<int>{0xD0, 0x9F}));
    EXPECT_EQ(keys_of(std::string(1, '\0') + "x"), (std::vector<int>{0, 3, 'x'}));
}

TEST(KeyDecoder, UnknownSequencesPassOnAsTheyCame) {
    EXPECT_EQ(keys_of("\x1b[99~"), bytes_of("\x1b[99~"));
    EXPECT_EQ(keys_of("\x1b[1;5A"), bytes_of("\x1b[1;5A"));
    EXPECT_EQ(keys_of("\x1b[Z"), bytes_of("\x1b[Z"));
    EXPECT_EQ(keys_of("\x1bOM"), bytes_of("\x1bOM"));
    EXPECT_EQ(keys_of("\x1b[[Z"), bytes_of("\x1b[[Z"));
    // Broken off by a control byte: what came passes on, the control byte is a key of its own.
    EXPECT_EQ(keys_of("\x1b[1\x18"), (std::vector<int>{27, '[', '1', 24}));
    // Too long to be a key.
    const std::string endless = "\x1b[" + std::string(30, '1') + "~";
    EXPECT_EQ(keys_of(endless), bytes_of(endless));
}

TEST(KeyDecoder, SeveralKeysInOneBurst) {
    EXPECT_EQ(keys_of("a\x1bOPb\x1b[Ac"), (std::vector<int>{'a', 0, 59, 'b', 0xE0, 72, 'c'}));
}

}  // namespace
