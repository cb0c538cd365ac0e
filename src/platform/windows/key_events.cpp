#include "platform/windows/key_events.h"

#include "platform/console_keys.h"
#include "platform/pc_keys.h"

namespace {

using namespace pc_keys;

struct VirtualKey {
    WORD virtual_key;
    Key key;
};

constexpr VirtualKey KEYS_WITHOUT_A_CHARACTER[] = {
    {VK_HOME, HOME},     {VK_UP, UP},          {VK_PRIOR, PAGE_UP},   {VK_LEFT, LEFT},      {VK_RIGHT, RIGHT},
    {VK_END, END},       {VK_DOWN, DOWN},      {VK_NEXT, PAGE_DOWN},  {VK_INSERT, INSERT},  {VK_DELETE, DELETE_KEY},
    {VK_F1, F1},         {VK_F2, Key(F1 + 1)}, {VK_F3, Key(F1 + 2)},  {VK_F4, Key(F1 + 3)}, {VK_F5, Key(F1 + 4)},
    {VK_F6, Key(F1 + 5)}, {VK_F7, Key(F1 + 6)}, {VK_F8, Key(F1 + 7)}, {VK_F9, Key(F1 + 8)}, {VK_F10, Key(F1 + 9)},
    {VK_F11, F11},       {VK_F12, F12},
};

int two(unsigned char* out, Bytes bytes) {
    out[0] = bytes.lead;
    out[1] = bytes.code;
    return 2;
}

}  // namespace

int key_event_bytes(const KEY_EVENT_RECORD& event, unsigned char* out) {
    if (!event.bKeyDown) return 0;
    const DWORD state = event.dwControlKeyState;
    const bool alt = state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
    const bool ctrl = state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED);
    const bool shift = state & SHIFT_PRESSED;
    const WORD virtual_key = event.wVirtualKeyCode;
    for (const VirtualKey& known : KEYS_WITHOUT_A_CHARACTER) {
        if (known.virtual_key != virtual_key) continue;
        Bytes bytes = KEYS[known.key].with[alt ? ALT : ctrl ? CTRL : shift ? SHIFT : ALONE];
        // The cursor and editing keys' twins on the numeric pad (NumLock off) are no enhanced keys.
        if (known.key < F1 && !(state & ENHANCED_KEY)) bytes.lead = KEY_LEAD_FUNCTION;
        return two(out, bytes);
    }
    // Alt with a letter, but not AltGr (Ctrl and Alt together), which types a character. The scan
    // code comes from the table rather than from the event, which some consoles leave 0.
    if (alt && !ctrl && virtual_key >= 'A' && virtual_key <= 'Z')
        return two(out, {KEY_LEAD_FUNCTION, LETTER_SCAN_CODES[virtual_key - 'A']});
    const auto character = static_cast<unsigned char>(event.uChar.AsciiChar);
    if (character != 0) {
        out[0] = character;
        return 1;
    }
    if (ctrl && virtual_key == '2') return two(out, {KEY_LEAD_FUNCTION, CODE_CTRL_AT});
    return 0;
}
