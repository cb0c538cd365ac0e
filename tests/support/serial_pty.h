// Pseudo-terminals standing in for serial ports, and the COM table pointed at them.
#pragma once

#include <string>

// A pseudo-terminal pair. The test keeps its own descriptor of the port side (slave) open, so
// that the board side (master) keeps working while the program closes and reopens the port.
struct SerialPty {
    int master = -1;
    int slave = -1;
    std::string path;  // the port side, as the program opens it

    SerialPty();
    ~SerialPty();
    SerialPty(const SerialPty&) = delete;
    SerialPty& operator=(const SerialPty&) = delete;

    // What the board sends.
    void send(const std::string& bytes) const;
    // Everything the program sent that arrives within deadline_ms, up to want bytes.
    std::string receive(std::size_t want, int deadline_ms = 5000) const;
    // The board goes away (an adapter unplugged).
    void hang_up();
    // Waits until n bytes wait for the program; false past the deadline.
    bool wait_pending(int n, int deadline_ms = 5000) const;
};

// Every COM name points at a path that does not exist, so no test ever opens a real port.
void point_com_ports_nowhere();
// The usual COM table again.
void restore_com_ports();
