#include "terminal/serial_port.h"

#include "driver/run_settings.h"

void select_serial_port(const char*) {}
void list_com_ports() {}
void open_serial_port() {}
void close_serial_port() { settings.port_handle = 0; }
void serial_write(const void*, std::size_t) {}
void serial_read(char* buffer, int, int& count, int, int) {
    count = 0;
    buffer[0] = 0;
}
