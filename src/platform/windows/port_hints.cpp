#include "platform/port_hints.h"

#include <string>

#include "platform/serial_device.h"
#include "platform/system_error.h"

namespace {

const char* const DEVICE_MANAGER = "Device Manager lists the ports under Ports (COM & LPT)";

std::string refusal(const std::string& port, long error) {
    const std::string text = system_error_text(error);
    if (system_error_kind(error) == SystemErrorKind::busy)
        return "  " + text + ": another program holds " + port + "; close it (a terminal, an IDE's\n" +
               "  serial monitor, another kesto).\n";
    return "  " + text + ".\n";
}

}  // namespace

std::string serial_open_hint(const char* port_name, long error) {
    // F4 without a port reopens an empty name.
    if (port_name[0] == 0) return "  No port was named: give a COM name first.\n";
    const std::string port = port_name_shown(port_name);
    if (system_error_kind(error) != SystemErrorKind::no_device) return refusal(port, error);
    return "  " + system_error_text(error) + ": there is no " + port + " now. See the ports with -pl;\n  " +
           DEVICE_MANAGER + ".\n";
}

std::string serial_settings_hint(const char* port_name, long error) {
    if (system_error_kind(error) != SystemErrorKind::not_serial) return "";
    return "\n  " + system_error_text(error) + ": " + port_name_shown(port_name) + " is not a serial port.\n";
}

bool serial_error_is_refusal(long error) { return system_error_kind(error) == SystemErrorKind::busy; }

std::string serial_scan_hint(int lowest_port, int refused_port, long refused_error) {
    if (refused_port == 0)
        return "  No port answered as COM" + std::to_string(lowest_port) + "..COM" + std::to_string(COM_PORT_LAST) +
               ": is the board plugged in?\n  " + DEVICE_MANAGER + ".\n";
    return "  COM" + std::to_string(refused_port) + " is there but was refused:\n" +
           refusal("COM" + std::to_string(refused_port), refused_error);
}

const char* fet_adapter_hint() {
    return "  Is the adapter plugged in, with the chip maker's driver installed, and does no other program hold it? "
           "See what the library finds with -fl.\n";
}

const char* serial_port_names_help() {
    return "Serial ports: COM1..COM21 as Windows numbers them (see Device Manager,\n"
           "  Ports (COM & LPT)); COM10 and up are opened as \\\\.\\COM10 and so on.\n";
}
