// Pseudo-terminals standing in for serial ports, and the COM table pointed at them.
#pragma once

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "platform/serial_device.h"

// The test keeps the port side (slave) open too, so that the board side (master) keeps working
// while the program closes and reopens the port.
struct SerialPty {
    int master = -1, slave = -1;
    std::string path;  // the port side, as the program opens it

    SerialPty() {
        char name[128] = "";
        openpty(&master, &slave, name, nullptr, nullptr);
        path = name;
    }
    ~SerialPty() {
        if (master >= 0) close(master);
        close(slave);
    }
    SerialPty(const SerialPty&) = delete;
    void send(const std::string& bytes) const { (void)!write(master, bytes.data(), bytes.size()); }  // by the board
    // What the program sent, up to want bytes, each within deadline_ms.
    std::string receive(std::size_t want, int deadline_ms = 5000) const {
        std::string got;
        char byte = 0;
        for (pollfd ready{master, POLLIN, 0}; got.size() < want && poll(&ready, 1, deadline_ms) > 0;) {
            if (read(master, &byte, 1) != 1) break;
            got += byte;
        }
        return got;
    }
    void hang_up() { close(master), master = -1; }  // the adapter is unplugged
    // Waits until n bytes wait for the program; false after about deadline_ms.
    bool wait_pending(int n, int deadline_ms = 5000) const {
        int pending = 0;
        for (int waited = 0; waited < deadline_ms; ++waited, usleep(1000))
            if (ioctl(slave, FIONREAD, &pending) == 0 && pending >= n) return true;
        return false;
    }
};

// Points every COM name at path; "/nonexistent" keeps tests off real ports, nullptr restores the table.
inline void point_com_ports(const char* path) {
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) serial_device_set_com_path(n, path);
}
