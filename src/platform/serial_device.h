// The serial device under the port: which device a port name means, an exclusive open, the
// line settings, short-poll reads, whole writes and the close. Every system call for the port
// lives behind these procedures.
#pragma once

#include <cstddef>
#include <cstdint>

// An open serial device, as the system knows it; 0 means none. The value is the platform's own
// business: above the platform it is only stored, compared with 0 and handed back.
using SerialHandle = std::intptr_t;

// COM1 to COM21 are the names the scans, the listing and the command line know.
inline constexpr int COM_PORT_FIRST = 1;
inline constexpr int COM_PORT_LAST = 21;

// The device behind COMn, or nullptr for a number outside COM1..COM21. On Linux:
// COM1..COM4 are /dev/ttyS0..3, COM5..COM12 /dev/ttyUSB0..7, COM13..COM21 /dev/ttyACM0..8.
const char* serial_device_com_path(int n);

// The name without the "\\.\" that a port name longer than four characters is stored with:
// "COM12" reads better than "\\.\COM12".
const char* port_name_shown(const char* port_name);

// The n of "COMn" or "\\.\COMn" for n from 1 to 21 written without leading zeros; 0 for any
// other name.
int com_port_number(const char* port_name);

// The device a stored port name means: "COM3" and "\\.\COM12" through the table above, a name
// beginning with "/" as it is. nullptr when the name means no device.
const char* serial_device_path(const char* port_name);

// Opens the device for reading and writing, exclusively: a device that another program holds
// (a lock or the terminal's exclusive mode) is not opened. Returns the handle, which is above 0,
// or -1 with the system's error code in error (ENOENT for a name that means no device, EBUSY for
// a device held elsewhere).
SerialHandle serial_device_open(const char* port_name, long& error);

// Raw 8N1 at baud bits per second: receiver on, modem lines ignored, no hardware or software
// flow control, DTR and RTS dropped. Returns 0, or the system's error code when the device
// refuses the settings (EINVAL for a rate of 0 or less, or one the driver cannot produce).
long serial_device_configure(SerialHandle handle, long baud);

// Waits at most about 1 ms for received bytes and reads up to n of them. Returns how many were
// read; a failure and a device that has gone away both read as 0. A gone device never makes
// this return at once: the call still takes its millisecond, so a loop of reads cannot spin.
std::size_t serial_device_read(SerialHandle handle, void* buffer, std::size_t n);

// Writes all n bytes, going on after short writes, interruptions and a full output buffer.
// Returns 0, or the system's error code when the bytes cannot go out (a device that has gone
// away, or output that stays blocked for two seconds).
long serial_device_write(SerialHandle handle, const void* bytes, std::size_t n);

// True when the device behind the handle has gone away (unplugged, hung up, its driver gone):
// nothing will come through this handle again, and only a new open of the name can reach the
// device when it comes back. False for a device that is only slow to take data.
bool serial_device_lost(SerialHandle handle);

// Gives the device up; the handle is no longer valid afterwards.
void serial_device_close(SerialHandle handle);
