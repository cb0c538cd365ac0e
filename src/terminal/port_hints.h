// One more line of help under a failed open or a failed scan, for what stops most people on
// Linux: no permission for the device, a port that another program holds, no device there.
// Printed at level 1, as the message it explains.
#pragma once

// Under "Can't open ...": the system's text for `error`, then what usually helps.
void print_open_hint(const char* port_name, long error);

// True when a scanned port exists but was refused (permission or busy): worth naming when the
// scan finds nothing, where a missing device is not.
bool port_refused(long error);

// Under "Can't set baudrate ...", which ends without a line end: for a path that opened but is
// no serial device, says so; nothing for a rate the device refused.
void print_settings_hint(const char* port_name, long error);

// Under "Can't find COM Port". `refused_port` is the COM number of a port that exists but was
// refused with `refused_error`, or 0 when every port was simply missing.
void print_scan_hint(int lowest_port, int refused_port, long refused_error);
