#include "support/serial_pty.h"

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "platform/serial_device.h"

namespace {

long long now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

}  // namespace

SerialPty::SerialPty() {
    char name[128] = "";
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    path = name;
}

SerialPty::~SerialPty() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
}

void SerialPty::send(const std::string& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) throw std::runtime_error("writing to the pseudo-terminal failed");
        done += static_cast<std::size_t>(n);
    }
}

std::string SerialPty::receive(std::size_t want, int deadline_ms) const {
    std::string got;
    const long long end = now_ms() + deadline_ms;
    char chunk[4096];
    while (got.size() < want) {
        const long long left = end - now_ms();
        if (left <= 0) break;
        pollfd wait{master, POLLIN, 0};
        if (poll(&wait, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0) break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

void SerialPty::hang_up() {
    close(master);
    master = -1;
}

bool SerialPty::wait_pending(int n, int deadline_ms) const {
    const long long end = now_ms() + deadline_ms;
    for (;;) {
        int pending = 0;
        if (ioctl(slave, FIONREAD, &pending) == 0 && pending >= n) return true;
        if (now_ms() >= end) return false;
        usleep(1000);
    }
}

void point_com_ports_nowhere() {
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) {
        char path[64];
        std::snprintf(path, sizeof path, "/nonexistent/kesto-test-com%d", n);
        serial_device_set_com_path(n, path);
    }
}

void restore_com_ports() {
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) serial_device_set_com_path(n, nullptr);
}
