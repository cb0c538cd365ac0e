// Console key events become the bytes the PC console's _getch gives, which the terminal's key
// table is written for.
#include "platform/windows/key_events.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes_for(WORD key, char character, DWORD state, bool down = true) {
    KEY_EVENT_RECORD event{};
    event.bKeyDown = down;
    event.wRepeatCount = 1;
    event.wVirtualKeyCode = key;
    event.uChar.AsciiChar = character;
    event.dwControlKeyState = state;
    unsigned char out[KEY_EVENT_BYTES_MAX] = {};
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(key_event_bytes(event, out)));
}

}  // namespace

TEST(KeyEvents, AsTheConsoleGivesThemByGetch) {
    const struct { const char* name; WORD key; char character; DWORD state; std::string bytes; } cases[] = {
        {"a", 'A', 'a', 0, "a"},
        {"Enter", VK_RETURN, '\r', 0, "\r"},
        {"Ctrl-C, processed input off", 'C', 3, LEFT_CTRL_PRESSED, "\x03"},
        {"Ctrl-X", 'X', 24, RIGHT_CTRL_PRESSED, "\x18"},
        {"Ctrl-]", VK_OEM_6, 29, LEFT_CTRL_PRESSED, "\x1d"},
        {"Ctrl-@", '2', 0, LEFT_CTRL_PRESSED | SHIFT_PRESSED, std::string("\0\x03", 2)},
        {"F1", VK_F1, 0, 0, std::string("\0\x3b", 2)},
        {"F10", VK_F10, 0, 0, std::string("\0\x44", 2)},
        {"Shift-F9", VK_F9, 0, SHIFT_PRESSED, std::string("\0\x5c", 2)},
        {"Alt-F4", VK_F4, 0, LEFT_ALT_PRESSED, std::string("\0\x6b", 2)},
        {"F12", VK_F12, 0, 0, "\xe0\x86"},
        {"Up, the separate key", VK_UP, 0, ENHANCED_KEY, "\xe0\x48"},
        {"Up on the keypad", VK_UP, 0, 0, std::string("\0\x48", 2)},
        {"Ctrl-Left", VK_LEFT, 0, ENHANCED_KEY | LEFT_CTRL_PRESSED, "\xe0\x73"},
        {"Delete", VK_DELETE, 0, ENHANCED_KEY, "\xe0\x53"},
        {"Alt-O", 'O', 'o', LEFT_ALT_PRESSED, std::string("\0\x18", 2)},
        {"AltGr-Q types its character", 'Q', '@', RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED, "@"},
        {"Shift alone", VK_SHIFT, 0, SHIFT_PRESSED, ""},
        {"a Cyrillic letter in the console's code page", 'G', '\xaf', 0, "\xaf"},
    };
    for (const auto& c : cases) EXPECT_EQ(bytes_for(c.key, c.character, c.state), c.bytes) << c.name;
    EXPECT_EQ(bytes_for('A', 'a', 0, false), "") << "a release gives nothing";
    EXPECT_EQ(bytes_for(VK_F10, 0, 0, false), "") << "nor does an F-key's";
}
