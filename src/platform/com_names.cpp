// The COM names as the command line and the scans store them, the same on every system.
#include "platform/serial_device_seam.h"

#include <cstring>
#include <string>

const char* port_name_shown(const char* port_name) {
    return std::strncmp(port_name, "\\\\.\\", 4) == 0 ? port_name + 4 : port_name;
}

int com_port_number(const char* port_name) {
    port_name = port_name_shown(port_name);
    if (std::strncmp(port_name, "COM", 3) != 0) return 0;
    const char* digits = port_name + 3;
    if (digits[0] < '1' || digits[0] > '9') return 0;
    int n = 0;
    for (const char* c = digits; *c; ++c) {
        if (*c < '0' || *c > '9') return 0;
        n = n * 10 + (*c - '0');
        if (n > COM_PORT_LAST) return 0;
    }
    return n;
}

namespace {

std::string test_com_paths[COM_PORT_LAST + 1];
bool has_test_path[COM_PORT_LAST + 1] = {};

}  // namespace

void serial_device_set_com_path(int n, const char* path) {
    if (n < COM_PORT_FIRST || n > COM_PORT_LAST) return;
    has_test_path[n] = path != nullptr;
    test_com_paths[n] = path ? path : "";
}

const char* com_test_path(int n) {
    if (n < COM_PORT_FIRST || n > COM_PORT_LAST || !has_test_path[n]) return nullptr;
    return test_com_paths[n].c_str();
}
