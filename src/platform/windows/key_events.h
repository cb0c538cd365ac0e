// Console key events as the bytes that the PC console's _getch gives for them: a character as
// itself, a key without one as a lead byte (0, or 0xE0 for the separate cursor and editing
// keys) and a code.
#pragma once

#include <windows.h>

// The most bytes one key press gives (a lead byte and a code).
inline constexpr int KEY_EVENT_BYTES_MAX = 2;

// The bytes for one press of the key in event, ignoring its repeat count; 0 for a release, a
// modifier on its own, or a key that gives nothing.
int key_event_bytes(const KEY_EVENT_RECORD& event, unsigned char* out);
