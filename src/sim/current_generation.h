// The simulator as the current generation of the vendor's library presents itself: the device
// found with MSP430_OpenDevice and copied out with MSP430_GetFoundDevice in a 112-byte record,
// a device database to load first, device types numbered from 0, and an adapter whose firmware
// can be updated. The other calls are the simulator's table as it stands.
//
// A firmware conflict on demand: the adapter named "OLDFW" (case ignored) stands for one whose
// firmware is older than the library. Its MSP430_Initialize reports version -1 until
// MSP430_FET_FwUpdate has run in the same process; it simulates the default part. The shared
// simulator's original generation opens through the same call, so it has that adapter too.
#pragma once

#include <cstdint>

#include "base/fet_interface.h"

fet_int FET_CALL current_initialize(const char* port, fet_int* version);

// Only NULL, the database built into the library, is known. Until it was loaded,
// MSP430_OpenDevice fails with "Device database not loaded" (error 98), as some releases do.
fet_int FET_CALL current_load_device_db(const char* file);

// "DEVICE_UNKNOWN" (or the attached part's own name) with an empty password finds the part.
fet_int FET_CALL current_open_device(const char* device, const char* password, fet_int password_length,
                                     fet_int device_code, fet_int set_id);

// Copies as much of the found device's record as `size` asks for, at most its 112 bytes.
fet_int FET_CALL current_get_found_device(std::uint8_t* record, fet_int size);

// The library's instance is made by the first of these two; until then the device types are
// not listed.
fet_int FET_CALL current_get_number_of_usb_ifs(fet_int* count);
// Only a device opened since MSP430_Initialize is reset.
fet_int FET_CALL current_reset(fet_int method, fet_int execute, fet_int release_jtag);
// Verification is no Configure mode in this generation: mode 0 is refused as an invalid parameter.
fet_int FET_CALL current_configure(fet_int mode, fet_int value);

// The device types from index 0; an index past the last fails, and so does every index before
// the instance exists.
fet_int FET_CALL current_device(fet_int index, std::uint8_t* record, fet_int size);

// The file must be NULL: the firmware built into the library. Reports each step, and the
// blocks in steps of 5 percent, through `progress`.
fet_int FET_CALL current_fw_update(const char* file, FetFirmwareProgress progress, fet_int handle);

// Forgets the loaded database, the found device and the update, as a new process would.
void reset_current_generation();
