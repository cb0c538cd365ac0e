// The adapter's firmware brought to the library's own, for a library and adapter whose versions
// disagree.
#pragma once

inline constexpr int FIRMWARE_UPDATED = 0;
inline constexpr int FIRMWARE_NO_UPDATE_CALL = 1;
inline constexpr int FIRMWARE_UPDATE_FAILED = 2;

// Updates the adapter to the firmware built into the library, each step on a line of its own
// (a log stays readable: nothing is rewritten in place). A library without the update call is
// said so; after a failed update the library's error queries tell why.
int update_fet_firmware();

// What the operator is told when a conflict ends the run without an update.
void print_firmware_update_hint();
