// The port word SIM: the UART of the virtual board, opened, read and written as a serial port.
//
// The board runs in step with the host's clock whenever the terminal looks at the port: a read
// first runs it up to now. Between looks the terminal waits on the console alone, for no longer
// than sim_port_wait_ms says, so a sleeping board costs the host nothing.
#pragma once

#include <cstddef>

inline constexpr const char* SIM_PORT_NAME = "SIM";

// True for the port word SIM, case ignored.
bool sim_port_named(const char* port_name);

// The board needs the simulated adapter of its own part: without it, says which one it needs
// and ends the program with code 2, as other ports that cannot be opened do.
void sim_port_open();

// The host's side of the line at baud; false for a rate a line cannot have (0 or below).
bool sim_port_configure(long baud);

// Runs the board up to now and takes what its UART sent meanwhile, at most n bytes.
std::size_t sim_port_read(void* buffer, std::size_t n);

// The bytes reach the board at the pace of its UART.
void sim_port_write(const void* bytes, std::size_t n);

void sim_port_close();

// How long the terminal may wait before the board needs to run again: 0 while its UART may
// hold more than the last read took, -1 when nothing is due until a key comes.
int sim_port_wait_ms();
