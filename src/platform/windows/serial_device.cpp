#include "platform/serial_device.h"
#include "platform/serial_device_seam.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/windows/windows_console.h"

namespace {

// Output that makes no progress for this long is taken as a failed write rather than letting a
// device that stopped reading freeze the terminal; F4 then reopens the port.
constexpr DWORD WRITE_STALL_MS = 2000;

// A rate the driver rounds by more than a UART can tolerate counts as refused.
constexpr long RATE_TOLERANCE_PERCENT = 3;

// What one read asks for: the terminal's largest batch and some.
constexpr DWORD READ_CHUNK = 512;

// A read in flight is what the terminal waits on. With only an interval time-out it waits as
// long as the line is quiet, then ends once the bytes pause for a millisecond (or the buffer is
// full): no wake-ups while nothing comes. A read that may take at most a millisecond waits that
// long on the read in flight instead. (WaitCommEvent would do for the wait on Windows, but under
// Wine it ends at once on a pseudo-terminal, with no event.)
constexpr COMMTIMEOUTS READ_UNTIL_A_PAUSE = {1, 0, 0, 0, 0};

// Received a byte; the last byte of the output buffer was sent. Nothing waits for these.
constexpr DWORD EVENT_MASK = EV_RXCHAR | EV_TXEMPTY;

// One open port: its handle, and the background read with what it brought.
struct Port {
    HANDLE handle = nullptr;  // null: the slot is free
    HANDLE read_done = nullptr;
    HANDLE write_done = nullptr;
    OVERLAPPED read{};
    OVERLAPPED write{};
    bool reading = false;
    bool gone = false;
    unsigned char received[READ_CHUNK];
    DWORD received_len = 0;
    DWORD received_at = 0;

    DWORD waiting() const { return received_len - received_at; }
};

// At most one port is open at a time; the spare slots only make a slip harmless.
Port ports[4];

char default_com_paths[COM_PORT_LAST + 1][16];

HANDLE as_handle(SerialHandle handle) { return reinterpret_cast<HANDLE>(handle); }

Port* find(SerialHandle handle) {
    if (handle <= 0) return nullptr;
    for (Port& port : ports)
        if (port.handle && port.handle == as_handle(handle)) return &port;
    return nullptr;
}

// The errors with which Windows says that the device behind a handle has gone (a USB adapter
// pulled out), as opposed to a line error that ClearCommError clears.
bool says_gone(DWORD error) {
    switch (error) {
        case ERROR_NOT_READY:
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_INVALID_HANDLE:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_REMOVED:
        case ERROR_GEN_FAILURE:
        case ERROR_OPERATION_ABORTED:
            return true;
        default:
            return false;
    }
}

// A failed read or write: the device has gone, or a line error that ClearCommError clears.
DWORD note_failure(Port& port, DWORD error) {
    DWORD line_errors = 0;
    COMSTAT status{};
    if (says_gone(error) || !ClearCommError(port.handle, &line_errors, &status)) port.gone = true;
    return error;
}

void read_failed(Port& port, DWORD error) {
    port.reading = false;
    note_failure(port, error);
    // The event stays set: a wait sees the failure and the next read tells the rest.
    SetEvent(port.read_done);
}

void read_completed(Port& port) {
    DWORD got = 0;
    if (GetOverlappedResult(port.handle, &port.read, &got, FALSE)) {
        port.reading = false;
        port.received_len = got;
        port.received_at = 0;
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_INCOMPLETE) read_failed(port, error);
}

// Starts the background read unless one is under way or its bytes are still to be taken.
void start_read(Port& port) {
    if (port.gone || port.reading || port.waiting() > 0) return;
    ResetEvent(port.read_done);
    port.read = OVERLAPPED{};
    port.read.hEvent = port.read_done;
    port.received_len = port.received_at = 0;
    port.reading = true;
    if (ReadFile(port.handle, port.received, READ_CHUNK, nullptr, &port.read)) {
        read_completed(port);
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) read_failed(port, error);
}

void stop_read(Port& port) {
    if (!port.reading) return;
    CancelIoEx(port.handle, &port.read);
    DWORD got = 0;
    // The buffer and the OVERLAPPED belong to the read until it has really ended.
    GetOverlappedResult(port.handle, &port.read, &got, TRUE);
    port.reading = false;
}

// Wine (and a driver for a port without modem lines) may refuse to drop DTR and RTS after it
// has taken the rest of the settings; the line is usable all the same.
bool line_settings_took(HANDLE handle, const DCB& wanted) {
    DCB applied{};
    applied.DCBlength = sizeof applied;
    return GetCommState(handle, &applied) && applied.BaudRate == wanted.BaudRate &&
           applied.ByteSize == wanted.ByteSize && applied.Parity == wanted.Parity &&
           applied.StopBits == wanted.StopBits;
}

long set_comm_state(SerialHandle serial, const void* line) {
    DCB settings = *static_cast<const DCB*>(line);
    return SetCommState(reinterpret_cast<HANDLE>(serial), &settings) ? 0 : static_cast<long>(GetLastError());
}

}  // namespace

LineSettingsCall serial_line_settings_call = set_comm_state;

const char* serial_device_com_path(int n) {
    if (n < COM_PORT_FIRST || n > COM_PORT_LAST) return nullptr;
    if (const char* test_path = com_test_path(n)) return test_path;
    // COM10 and up are reached only through the device namespace.
    if (!default_com_paths[n][0])
        std::snprintf(default_com_paths[n], sizeof default_com_paths[n], n <= 9 ? "COM%d" : "\\\\.\\COM%d", n);
    return default_com_paths[n];
}

const char* serial_device_path(const char* port_name) {
    if (const char* test_path = com_test_path(com_port_number(port_name))) return test_path;
    // Windows knows the names itself, COM3 as well as \\.\COM12 or \\.\CNCA0.
    return port_name[0] ? port_name : nullptr;
}

SerialHandle serial_device_open(const char* port_name, long& error) {
    const char* path = serial_device_path(port_name);
    if (!path) {
        error = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    Port* port = nullptr;
    for (Port& candidate : ports)
        if (!candidate.handle) port = &candidate;
    if (!port) {
        error = ERROR_TOO_MANY_OPEN_FILES;
        return -1;
    }
    // Share mode 0: a port that another program holds is refused (ERROR_ACCESS_DENIED), so the
    // scans and the listing pass over it. Overlapped, so that a read can wait in the background
    // while keys are sent.
    const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = static_cast<long>(GetLastError());
        return -1;
    }
    if (!port->read_done) port->read_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!port->write_done) port->write_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!port->read_done || !port->write_done) {
        error = static_cast<long>(GetLastError());
        CloseHandle(handle);
        return -1;
    }
    port->handle = handle;
    port->reading = false;
    port->gone = false;
    port->received_len = port->received_at = 0;
    return reinterpret_cast<SerialHandle>(handle);
}

long serial_device_configure(SerialHandle serial, long baud) {
    Port* port = find(serial);
    if (!port) return ERROR_INVALID_HANDLE;
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port->handle, &line)) return static_cast<long>(GetLastError());
    if (baud <= 0) return ERROR_INVALID_PARAMETER;
    // Field by field: a BuildCommDCB string cannot say all of this.
    line.BaudRate = static_cast<DWORD>(baud);
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fDtrControl = DTR_CONTROL_DISABLE;
    line.fRtsControl = RTS_CONTROL_DISABLE;
    // With DTR and RTS held low, a port left with hardware handshake by another program would
    // hold the output for ever; and a line error must not stop every later read.
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fNull = FALSE;
    line.fErrorChar = FALSE;
    line.fAbortOnError = FALSE;
    if (const long error = serial_line_settings_call(serial, &line)) {
        if (error != ERROR_NOT_SUPPORTED || !line_settings_took(port->handle, line)) return error;
    }
    // Some drivers accept any number and set a rate of their own.
    DCB applied{};
    applied.DCBlength = sizeof applied;
    if (!GetCommState(port->handle, &applied)) return static_cast<long>(GetLastError());
    const long got = static_cast<long>(applied.BaudRate);
    const long off = got > baud ? got - baud : baud - got;
    if (off * 100 > baud * RATE_TOLERANCE_PERCENT) return ERROR_INVALID_PARAMETER;
    SetCommMask(port->handle, EVENT_MASK);
    COMMTIMEOUTS timeouts = READ_UNTIL_A_PAUSE;
    SetCommTimeouts(port->handle, &timeouts);
    return 0;
}

std::size_t serial_device_read(SerialHandle serial, void* buffer, std::size_t n) {
    Port* port = find(serial);
    if (n == 0) return 0;
    if (!port || port->gone) {
        // Nothing to wait on, and a loop of reads must not spin.
        Sleep(1);
        return 0;
    }
    if (port->waiting() == 0) {
        start_read(*port);
        if (port->reading && WaitForSingleObject(port->read_done, 1) == WAIT_OBJECT_0) read_completed(*port);
    }
    const DWORD take = port->waiting() < n ? port->waiting() : static_cast<DWORD>(n);
    std::memcpy(buffer, port->received + port->received_at, take);
    port->received_at += take;
    if (take == 0 && port->gone) Sleep(1);
    return take;
}

long serial_device_write(SerialHandle serial, const void* bytes, std::size_t n) {
    Port* port = find(serial);
    if (!port) return ERROR_INVALID_HANDLE;
    const char* next = static_cast<const char*>(bytes);
    while (n > 0) {
        const DWORD chunk = n > 0x10000 ? 0x10000 : static_cast<DWORD>(n);
        ResetEvent(port->write_done);
        port->write = OVERLAPPED{};
        port->write.hEvent = port->write_done;
        DWORD written = 0;
        if (!WriteFile(port->handle, next, chunk, nullptr, &port->write)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) return static_cast<long>(note_failure(*port, error));
            if (WaitForSingleObject(port->write_done, WRITE_STALL_MS) != WAIT_OBJECT_0) {
                CancelIoEx(port->handle, &port->write);
                GetOverlappedResult(port->handle, &port->write, &written, TRUE);
                return ERROR_TIMEOUT;
            }
        }
        if (!GetOverlappedResult(port->handle, &port->write, &written, FALSE))
            return static_cast<long>(note_failure(*port, GetLastError()));
        if (written == 0) return ERROR_WRITE_FAULT;
        next += written;
        n -= written;
    }
    return 0;
}

bool serial_device_lost(SerialHandle serial) {
    const Port* port = find(serial);
    return port && port->gone;
}

void serial_device_close(SerialHandle serial) {
    Port* port = find(serial);
    if (!port) return;
    stop_read(*port);
    CloseHandle(port->handle);
    port->handle = nullptr;
    port->received_len = port->received_at = 0;
}

HANDLE serial_wait_handle(SerialHandle serial) {
    Port* port = find(serial);
    if (!port || port->gone) return nullptr;
    start_read(*port);
    // A read that failed at its start has left the event set, so the wait sees it at once.
    return port->read_done;
}

bool serial_is_gone(SerialHandle serial) {
    const Port* port = find(serial);
    return !port || port->gone;
}
