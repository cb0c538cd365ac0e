// Where tests reach under the serial device, as they swap the FET library's table: the device
// each COM name means, and the call that applies the line settings. Nothing on the command line
// reaches these; the program leaves them as they start.
#pragma once

#include "platform/serial_device.h"

// Points COMn at another device (a pseudo-terminal) until called again with nullptr, which
// restores the usual device.
void serial_device_set_com_path(int n, const char* path);

// The device COMn was pointed at, or nullptr when it was not (the system's layer then uses its
// own table).
const char* com_test_path(int n);

// Applies the line settings, the system's own record for them (termios2 on Linux, a DCB on
// Windows), to the open device: 0, or the system's error code. It starts as the system's call
// (TCSETS2, SetCommState); a test puts one in place that fails.
using LineSettingsCall = long (*)(SerialHandle handle, const void* line);
extern LineSettingsCall serial_line_settings_call;
