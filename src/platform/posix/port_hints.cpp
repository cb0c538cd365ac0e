#include "platform/port_hints.h"

#include <string>

#include "platform/serial_device.h"
#include "platform/system_error.h"

namespace {

// For a device that exists but cannot be had; `device` is its path.
std::string refusal(const std::string& device, long error) {
    const std::string text = system_error_text(error);
    switch (system_error_kind(error)) {
        case SystemErrorKind::access_denied:
            return "  " + text + ": for the chip maker's adapters, the udev rule\n"
                   "  /usr/lib/udev/rules.d/70-kesto.rules (installed with kesto) gives you access;\n"
                   "  plug the adapter in again after installing it. For other devices, join the\n"
                   "  dialout group (sudo usermod -aG dialout $USER, then log in again).\n";
        case SystemErrorKind::busy:
            return "  " + text + ": another program holds " + device + "; close it\n  (fuser -v " + device +
                   " shows which).\n";
        default:
            return "  " + text + ".\n";
    }
}

const char* const SEE_THE_PORTS = "  See the ports with -pl, or give the device path first (e.g. /dev/ttyACM0).\n";

}  // namespace

std::string serial_open_hint(const char* port_name, long error) {
    // F4 without a port reopens an empty name.
    if (port_name[0] == 0) return "  No port was named: give a COM name or a device path first.\n";
    const char* path = serial_device_path(port_name);
    if (system_error_kind(error) != SystemErrorKind::no_device) return refusal(path ? path : port_name, error);
    const std::string text = system_error_text(error);
    const std::string shown = port_name_shown(port_name);
    if (port_name[0] == '/')
        return "  " + text + ": is the board plugged in? See the ports with -pl,\n  or what is in /dev/serial/by-id.\n";
    if (path) return "  " + text + ": " + shown + " means " + path + ", which is not there.\n" + SEE_THE_PORTS;
    return "  " + text + ": " + shown + " names no device (COM" + std::to_string(COM_PORT_FIRST) + "..COM" +
           std::to_string(COM_PORT_LAST) + " do).\n" + SEE_THE_PORTS;
}

std::string serial_settings_hint(const char* port_name, long error) {
    if (system_error_kind(error) != SystemErrorKind::not_serial) return "";
    const char* path = serial_device_path(port_name);
    return "\n  " + system_error_text(error) + ": " + (path ? path : port_name) + " is not a serial device.\n";
}

bool serial_error_is_refusal(long error) {
    const SystemErrorKind kind = system_error_kind(error);
    return kind == SystemErrorKind::access_denied || kind == SystemErrorKind::busy;
}

std::string serial_scan_hint(int lowest_port, int refused_port, long refused_error) {
    if (refused_port == 0)
        return "  No device is there as COM" + std::to_string(lowest_port) + "..COM" + std::to_string(COM_PORT_LAST) +
               "; give the device path first\n  (ls /dev/serial/by-id shows what is plugged in).\n";
    const std::string path = serial_device_com_path(refused_port);
    return "  COM" + std::to_string(refused_port) + " means " + path + ", which is there but refused:\n" +
           refusal(path, refused_error);
}

const char* fet_adapter_hint() {
    return "  Is the adapter plugged in, and may you open it? Check the udev rule make install puts in place "
           "(or join the dialout group), keep ModemManager away from the adapter (the rule does), and see what the "
           "library finds with -fl.\n";
}

const char* serial_port_names_help() {
    return "Serial ports: COM1..4 = /dev/ttyS0..3, COM5..12 = /dev/ttyUSB0..7,\n"
           "  COM13..21 = /dev/ttyACM0..8; or give a device path first,\n"
           "  e.g. /dev/ttyUSB0 or /dev/serial/by-id/...\n";
}
