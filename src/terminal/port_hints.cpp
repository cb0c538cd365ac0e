#include "terminal/port_hints.h"

#include <cstring>
#include <string>

#include "base/console.h"
#include "platform/serial_device.h"
#include "platform/system_error.h"

namespace {

// For a device that exists but cannot be had; `device` is its path.
void print_refusal(const char* device, long error) {
    const std::string text = system_error_text(error);
    if (system_error_kind(error) == SystemErrorKind::access_denied)
        print_at_level(1,
                       "  %s: for the chip maker's adapters, the udev rule\n"
                       "  /usr/lib/udev/rules.d/70-kesto.rules (installed with kesto) gives you access;\n"
                       "  plug the adapter in again after installing it. For other devices, join the\n"
                       "  dialout group (sudo usermod -aG dialout $USER, then log in again).\n",
                       text.c_str());
    else if (system_error_kind(error) == SystemErrorKind::busy)
        print_at_level(1, "  %s: another program holds %s; close it\n  (fuser -v %s shows which).\n", text.c_str(),
                       device, device);
    else
        print_at_level(1, "  %s.\n", text.c_str());
}

}  // namespace

void print_open_hint(const char* port_name, long error) {
    // F4 without a port reopens an empty name.
    if (port_name[0] == 0) {
        print_at_level(1, "  No port was named: give a COM name or a device path first.\n");
        return;
    }
    const char* path = serial_device_path(port_name);
    if (system_error_kind(error) != SystemErrorKind::no_device) {
        print_refusal(path ? path : port_name, error);
        return;
    }
    const std::string text = system_error_text(error);
    // "COM12" reads better than the stored "\\.\COM12".
    const char* shown = std::strncmp(port_name, "\\\\.\\", 4) == 0 ? port_name + 4 : port_name;
    if (port_name[0] == '/')
        print_at_level(1, "  %s: is the board plugged in? See the ports with -pl,\n  or what is in /dev/serial/by-id.\n",
                       text.c_str());
    else if (path)
        print_at_level(1,
                       "  %s: %s means %s, which is not there.\n"
                       "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n",
                       text.c_str(), shown, path);
    else
        print_at_level(1,
                       "  %s: %s names no device (COM%d..COM%d do).\n"
                       "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n",
                       text.c_str(), shown, COM_PORT_FIRST, COM_PORT_LAST);
}

void print_settings_hint(const char* port_name, long error) {
    if (system_error_kind(error) != SystemErrorKind::not_serial) return;
    const char* path = serial_device_path(port_name);
    print_at_level(1, "\n  %s: %s is not a serial device.\n", system_error_text(error).c_str(),
                   path ? path : port_name);
}

bool port_refused(long error) {
    const SystemErrorKind kind = system_error_kind(error);
    return kind == SystemErrorKind::access_denied || kind == SystemErrorKind::busy;
}

void print_scan_hint(int lowest_port, int refused_port, long refused_error) {
    if (refused_port == 0) {
        print_at_level(1,
                       "  No device is there as COM%d..COM%d; give the device path first\n"
                       "  (ls /dev/serial/by-id shows what is plugged in).\n",
                       lowest_port, COM_PORT_LAST);
        return;
    }
    const char* path = serial_device_com_path(refused_port);
    print_at_level(1, "  COM%d means %s, which is there but refused:\n", refused_port, path);
    print_refusal(path, refused_error);
}
