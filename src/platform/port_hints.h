// One more line of help under a failed open or a failed scan, in this system's terms: no
// permission for the device, a port that another program holds, no device there. The texts
// end in a line feed; the caller prints them at the level of the message they explain.
#pragma once

#include <string>

// Under "Can't open ...": the system's text for `error`, then what usually helps.
std::string serial_open_hint(const char* port_name, long error);

// True when a scanned port exists but was refused (permission or busy): worth naming when the
// scan finds nothing, where a missing device is not.
bool serial_error_is_refusal(long error);

// Under "Can't set baudrate ...", which ends without a line end: for a path that opened but is
// no serial device, says so; empty for a rate the device refused.
std::string serial_settings_hint(const char* port_name, long error);

// Under "Can't find COM Port". `refused_port` is the COM number of a port that exists but was
// refused with `refused_error`, or 0 when every port was simply missing.
std::string serial_scan_hint(int lowest_port, int refused_port, long refused_error);

// Under the FET library's "not found" or "in use": what to check on this system, one line.
const char* fet_adapter_hint();

// The lines after the usage that say which devices the COM names mean here.
const char* serial_port_names_help();
