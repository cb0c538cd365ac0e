#include "terminal/serial_port.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/ascii_text.h"
#include "base/console.h"
#include "base/run_settings.h"
#include "platform/port_hints.h"
#include "platform/serial_device.h"
#include "terminal/sim_port.h"

namespace {

// What settings.port_handle holds while the SIM port is open: any value above 0 says "open",
// and no platform call ever sees this one.
constexpr SerialHandle SIM_HANDLE = 1;

bool simulated() { return sim_port_named(settings.port_name); }
bool simulated_open() { return simulated() && settings.port_handle > 0; }

// The lowest port the "USB" scan tries: COM1 to COM4 are the on-board UARTs.
constexpr int FIRST_USB_PORT = 5;

std::string upper_case(const char* text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// A cut name could name another device, so a name that does not fit ends the run instead.
void store_port_name(const std::string& name, const char* argument) {
    if (name.size() >= sizeof settings.port_name) {
        print_at_level(1, "Port name too long (at most %d characters): %s\n",
                       static_cast<int>(sizeof settings.port_name) - 1, argument);
        exit_program(2);
    }
    std::memcpy(settings.port_name, name.c_str(), name.size() + 1);
}

// Ports from 10 up need the long form of the name, as the command line would give it.
void name_com_port(int n) {
    if (n <= 9)
        std::snprintf(settings.port_name, sizeof settings.port_name, "COM%i", n);
    else
        std::snprintf(settings.port_name, sizeof settings.port_name, "\\\\.\\COM%i", n);
}

// Every way out of the program gives the port back.
void close_at_exit() {
    if (settings.port_handle > 0) close_serial_port();
}

// Opens the port named in settings.port_name into settings.port_handle; true when it opened.
bool open_named_port(long& error) {
    add_exit_cleanup(close_at_exit);
    if (simulated()) sim_port_open();  // ends the program when the run has no board
    settings.port_handle = simulated() ? SIM_HANDLE : serial_device_open(settings.port_name, error);
    return settings.port_handle > 0;
}

// The line settings; 0 or the system's error code.
long configure_port() {
    const long baud = read_integer(settings.baud);
    if (!simulated()) return serial_device_configure(settings.port_handle, baud);
    if (sim_port_configure(baud)) return 0;
    print_at_level(1, "Can't set baudrate '%s': a line needs a rate above 0\n", settings.baud);
    exit_program(3);
}

// Downwards, so that the adapter plugged in last (the highest number) is found first.
void scan_for_port(int lowest) {
    long error = 0;
    int refused = 0;
    long refused_error = 0;
    for (int n = COM_PORT_LAST; n >= lowest; --n) {
        name_com_port(n);
        if (open_named_port(error)) {
            settings.flags |= FLAG_TERMINAL;
            return;
        }
        if (refused == 0 && serial_error_is_refusal(error)) {
            refused = n;
            refused_error = error;
        }
    }
    print_at_level(1, "Can't find COM Port\n");
    print_at_level(1, "%s", serial_scan_hint(lowest, refused, refused_error).c_str());
    exit_program(2);
}

}  // namespace

void select_serial_port(const char* first_argument) {
    // A device path is a file name: its case matters.
    if (first_argument[0] == '/') {
        store_port_name(first_argument, first_argument);
        settings.flags |= FLAG_TERMINAL;
        return;
    }
    const std::string upper = upper_case(first_argument);
    if (ascii_starts_with(upper.c_str(), "COM")) {
        store_port_name(upper.size() == 4 ? upper : "\\\\.\\" + upper, first_argument);
        settings.flags |= FLAG_TERMINAL;
        return;
    }
    if (sim_port_named(upper.c_str())) {
        store_port_name(upper, first_argument);
        settings.flags |= FLAG_TERMINAL;
        return;
    }
    if (ascii_starts_with(upper.c_str(), "AUTO")) scan_for_port(COM_PORT_FIRST);
    else if (ascii_starts_with(upper.c_str(), "USB")) scan_for_port(FIRST_USB_PORT);
}

void list_com_ports() {
    // The simulated board is always there, beside whatever the system has.
    std::printf("\nFound: %s  (the UART of the simulated MSP430G2553 board, with -FET SIM)\n", SIM_PORT_NAME);
    int found = 1;
    long error = 0;
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) {
        name_com_port(n);
        if (!open_named_port(error)) continue;
        ++found;
        // The device behind the name, unless the system opens the name itself (Windows).
        const char* device = serial_device_path(settings.port_name);
        const bool other = device && std::strcmp(device, settings.port_name) != 0;
        const std::string shown = other ? "  (" + std::string(device) + ")" : "";
        std::printf("       COM%i%s\n", n, shown.c_str());
        close_serial_port();
    }
    std::fputs(found > 1 ? "Done\n" : "Can't find COM Port\n", stdout);
}

void open_serial_port() {
    long error = 0;
    // The AUTO and USB scans leave the port they found open.
    if (settings.port_handle <= 0 && !open_named_port(error)) {
        print_at_level(1, "Can't open %s. Error: %ld\n", settings.port_name, error);
        print_at_level(1, "%s", serial_open_hint(settings.port_name, error).c_str());
        exit_program(2);
    }
    print_at_level(3, "%s Open -OK\n", settings.port_name);
    error = configure_port();
    if (error != 0) {
        print_at_level(1, "Can't set baudrate '%s'. Error: %ld", settings.baud, error);
        print_at_level(1, "%s", serial_settings_hint(settings.port_name, error).c_str());
        exit_program(3);
    }
}

void close_serial_port() {
    if (simulated()) sim_port_close();
    else serial_device_close(settings.port_handle);
    settings.port_handle = 0;
}

bool serial_write(const void* bytes, std::size_t n) {
    if (simulated_open()) return sim_port_write(bytes, n), true;
    if (serial_device_write(settings.port_handle, bytes, n) == 0) return true;
    std::printf("%s Error. Press [F4] for Reopen.\n", settings.port_name);
    // The terminal writes its display straight to the descriptor; keep the hint in its place.
    std::fflush(stdout);
    ++settings.write_errors;
    return false;
}

bool serial_port_lost() { return settings.port_handle > 0 && !simulated() && serial_device_lost(settings.port_handle); }

PortWait serial_port_wait() {
    if (simulated_open()) return {0, sim_port_wait_ms(), true};
    return {settings.port_handle, -1, false};
}

long reopen_serial_port() {
    long error = 0;
    if (!open_named_port(error)) {
        settings.port_handle = 0;
        return error;
    }
    error = configure_port();
    if (error != 0) close_serial_port();
    return error;
}

const char* serial_port_shown_name() { return port_name_shown(settings.port_name); }

void serial_read(char* buffer, int capacity, int& count, int max_lines, int budget) {
    settings.read_budget = budget;
    count = 0;
    if (capacity <= 0) return;
    int lines = 0;
    while (count < capacity - 1) {
        const std::size_t room = static_cast<std::size_t>(capacity - 1 - count);
        const std::size_t got = simulated_open() ? sim_port_read(buffer + count, room)
                                                 : serial_device_read(settings.port_handle, buffer + count, room);
        if (got == 0 && settings.read_budget > 0) --settings.read_budget;
        for (std::size_t i = 0; i < got; ++i)
            if (buffer[count + static_cast<int>(i)] == '\n') ++lines;
        count += static_cast<int>(got);
        if (settings.read_budget <= 0) break;
        if (lines >= max_lines) break;
    }
    buffer[count] = 0;
}
