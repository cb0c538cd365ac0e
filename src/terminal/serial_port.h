// The one serial port to the target board: choice, listing, line settings, reads and writes.
#pragma once

#include <cstddef>

#include "platform/serial_device.h"

// Takes the port from the first command-line argument: a COM name, a /dev path, SIM (the
// simulated board's UART), or the AUTO and USB scans (the port found is left open). Ends the program when a scan finds nothing, and with
// code 2 when the name does not fit settings.port_name (it is never cut).
void select_serial_port(const char* first_argument);

// Prints the ports that can be opened: SIM, then each COM port with the device behind it.
void list_com_ports();

// Opens settings.port_name unless a scan left it open, then applies the line settings. Returns
// only on success; otherwise ends the program (2: cannot open, 3: settings refused).
void open_serial_port();

void close_serial_port();

// Sends all n bytes. A failure prints the reopen hint, counts in settings.write_errors and
// gives false.
bool serial_write(const void* bytes, std::size_t n);

// True when the open port's device has gone away (unplugged, hung up).
bool serial_port_lost();

// What the terminal waits on for the port: the device to watch (0 for none), and how long it may
// wait at most (-1: no limit). A polled port (SIM) has no device to watch and needs a read
// after every wait, whatever woke it.
struct PortWait {
    SerialHandle device;
    int timeout_ms;
    bool polled;
};
PortWait serial_port_wait();

// Opens settings.port_name again with the line settings, for a port whose device went away
// and may be back; the old handle must be closed already. Returns 0, or the system's error code
// with no port open.
long reopen_serial_port();

// The port's name as the operator knows it: "COM12" rather than the stored "\\.\COM12".
const char* serial_port_shown_name();

// Gathers received bytes into buffer (at most capacity - 1 and a terminator), stopping after
// `budget` empty reads, a full buffer, or `max_lines` line feeds; max_lines 0 makes one read.
void serial_read(char* buffer, int capacity, int& count, int max_lines, int budget);
