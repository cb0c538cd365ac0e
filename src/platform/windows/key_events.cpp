#include "platform/windows/key_events.h"

#include "platform/console_keys.h"

namespace {

// A key without a character, in the four forms _getch knows: alone, with Shift, with Ctrl,
// with Alt. The separate cursor and editing keys come with the lead 0xE0, their twins on the
// numeric pad (NumLock off) with 0; with Alt both come with 0.
struct KeyCodes {
    WORD virtual_key;
    unsigned char plain, shift, ctrl, alt;
};

constexpr KeyCodes FUNCTION_KEYS[] = {
    {VK_F1, 59, 84, 94, 104},  {VK_F2, 60, 85, 95, 105},  {VK_F3, 61, 86, 96, 106},
    {VK_F4, 62, 87, 97, 107},  {VK_F5, 63, 88, 98, 108},  {VK_F6, 64, 89, 99, 109},
    {VK_F7, 65, 90, 100, 110}, {VK_F8, 66, 91, 101, 111}, {VK_F9, 67, 92, 102, 112},
    {VK_F10, 68, 93, 103, 113},
};

// F11 and F12 came later than the table above and have the editing keys' lead.
constexpr KeyCodes LATE_FUNCTION_KEYS[] = {
    {VK_F11, 133, 135, 137, 139},
    {VK_F12, 134, 136, 138, 140},
};

// Shift does not change the cursor and editing keys.
constexpr KeyCodes EDITING_KEYS[] = {
    {VK_HOME, 71, 71, 119, 151},   {VK_UP, 72, 72, 141, 152},    {VK_PRIOR, 73, 73, 132, 153},
    {VK_LEFT, 75, 75, 115, 155},   {VK_RIGHT, 77, 77, 116, 157}, {VK_END, 79, 79, 117, 159},
    {VK_DOWN, 80, 80, 145, 160},   {VK_NEXT, 81, 81, 118, 161},  {VK_INSERT, 82, 82, 146, 162},
    {VK_DELETE, 83, 83, 147, 163},
};

// PC keyboard scan codes of the letters A..Z, for Alt with a letter. Taken from the table
// rather than from the event, whose scan code some consoles leave 0.
constexpr unsigned char LETTER_SCAN_CODES[26] = {
    30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,  // A..M
    49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44,  // N..Z
};

// Ctrl-@ gives 0 and 3 on the PC console: a NUL of its own would swallow the next key as a code.
constexpr unsigned char CODE_CTRL_AT = 3;

const KeyCodes* find(const KeyCodes* table, int count, WORD virtual_key) {
    for (int i = 0; i < count; ++i)
        if (table[i].virtual_key == virtual_key) return &table[i];
    return nullptr;
}

template <int N>
const KeyCodes* find(const KeyCodes (&table)[N], WORD virtual_key) {
    return find(table, N, virtual_key);
}

int two(unsigned char* out, unsigned char lead, unsigned char code) {
    out[0] = lead;
    out[1] = code;
    return 2;
}

}  // namespace

int key_event_bytes(const KEY_EVENT_RECORD& event, unsigned char* out) {
    if (!event.bKeyDown) return 0;
    const DWORD state = event.dwControlKeyState;
    const bool alt = state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
    const bool ctrl = state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED);
    const bool shift = state & SHIFT_PRESSED;
    const WORD key = event.wVirtualKeyCode;
    const auto pick = [&](const KeyCodes& codes) {
        return alt ? codes.alt : ctrl ? codes.ctrl : shift ? codes.shift : codes.plain;
    };
    if (const KeyCodes* codes = find(FUNCTION_KEYS, key)) return two(out, KEY_LEAD_FUNCTION, pick(*codes));
    if (const KeyCodes* codes = find(LATE_FUNCTION_KEYS, key)) return two(out, KEY_LEAD_EDITING, pick(*codes));
    if (const KeyCodes* codes = find(EDITING_KEYS, key)) {
        const bool separate = (state & ENHANCED_KEY) && !alt;
        return two(out, separate ? KEY_LEAD_EDITING : KEY_LEAD_FUNCTION, pick(*codes));
    }
    // Alt with a letter, but not AltGr (Ctrl and Alt together), which types a character.
    if (alt && !ctrl && key >= 'A' && key <= 'Z') return two(out, KEY_LEAD_FUNCTION, LETTER_SCAN_CODES[key - 'A']);
    const auto character = static_cast<unsigned char>(event.uChar.AsciiChar);
    if (character != 0) {
        out[0] = character;
        return 1;
    }
    if (ctrl && key == '2') return two(out, KEY_LEAD_FUNCTION, CODE_CTRL_AT);
    return 0;
}
