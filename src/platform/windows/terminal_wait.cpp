#include "platform/terminal_wait.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/console_keys.h"
#include "platform/windows/key_events.h"
#include "platform/windows/windows_console.h"

namespace {

// Key bytes taken from the console but not handed out yet, whole keys only.
unsigned char pending[256];
int pending_len = 0;
bool input_ended = false;

HANDLE input() { return GetStdHandle(STD_INPUT_HANDLE); }

// Standard input that is no console (a pipe, a file, NUL) cannot be waited on; a thread reads
// it and hands its bytes over, which keeps the wait free of polling.
struct InputReader {
    CRITICAL_SECTION lock;
    HANDLE ready = nullptr;  // manual reset: bytes wait, or the input has ended
    HANDLE room = nullptr;   // auto reset: the bytes were taken, read on
    unsigned char bytes[256];
    int length = 0;
    bool ended = false;
    bool started = false;
};
InputReader reader;

DWORD WINAPI read_input(void*) {
    unsigned char chunk[sizeof reader.bytes];
    for (;;) {
        DWORD got = 0;
        const BOOL ok = ReadFile(input(), chunk, sizeof chunk, &got, nullptr);
        EnterCriticalSection(&reader.lock);
        std::memcpy(reader.bytes, chunk, got);
        reader.length = static_cast<int>(got);
        // A pipe whose writer has gone fails; a file or NUL reads nothing at its end.
        reader.ended = !ok || got == 0;
        SetEvent(reader.ready);
        LeaveCriticalSection(&reader.lock);
        if (!ok || got == 0) return 0;
        WaitForSingleObject(reader.room, INFINITE);
    }
}

void start_reader() {
    if (reader.started) return;
    reader.started = true;
    InitializeCriticalSection(&reader.lock);
    reader.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    reader.room = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, read_input, nullptr, 0, nullptr);
    if (!reader.ready || !reader.room || !thread) {
        reader.ended = true;
        return;
    }
    CloseHandle(thread);
}

// The bytes of a pipe or a file are keys as they are; a lead byte 0 waits for its code unless
// the input has ended.
void take_from_reader() {
    if (!reader.ready) return;
    EnterCriticalSection(&reader.lock);
    int taken = 0;
    while (taken < reader.length && pending_len < static_cast<int>(sizeof pending)) {
        pending[pending_len++] = reader.bytes[taken++];
    }
    std::memmove(reader.bytes, reader.bytes + taken, static_cast<std::size_t>(reader.length - taken));
    reader.length -= taken;
    const bool all_taken = reader.length == 0;
    if (all_taken && reader.ended) input_ended = true;
    if (all_taken && !reader.ended) {
        ResetEvent(reader.ready);
        SetEvent(reader.room);
    }
    LeaveCriticalSection(&reader.lock);
}

void take_from_console() {
    INPUT_RECORD records[32];
    for (;;) {
        DWORD available = 0;
        if (!GetNumberOfConsoleInputEvents(input(), &available)) {
            input_ended = true;  // the console has gone
            return;
        }
        if (available == 0) return;
        // Each record can give up to a lead byte and a code per repeat; read only what fits.
        const int room = (static_cast<int>(sizeof pending) - pending_len) / KEY_EVENT_BYTES_MAX;
        if (room <= 0) return;
        DWORD wanted = available < static_cast<DWORD>(room) ? available : static_cast<DWORD>(room);
        if (wanted > sizeof records / sizeof records[0]) wanted = sizeof records / sizeof records[0];
        DWORD got = 0;
        if (!ReadConsoleInputA(input(), records, wanted, &got) || got == 0) return;
        for (DWORD i = 0; i < got; ++i) {
            if (records[i].EventType != KEY_EVENT) continue;
            const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
            unsigned char bytes[KEY_EVENT_BYTES_MAX];
            const int length = key_event_bytes(key, bytes);
            const int repeats = key.wRepeatCount > 0 ? key.wRepeatCount : 1;
            for (int r = 0; r < repeats && pending_len + length <= static_cast<int>(sizeof pending); ++r) {
                std::memcpy(pending + pending_len, bytes, static_cast<std::size_t>(length));
                pending_len += length;
            }
        }
    }
}

// The length of the whole key at the start of bytes: a lead byte 0 belongs with its code.
int key_length(const unsigned char* bytes, int available) {
    if (bytes[0] == KEY_LEAD_FUNCTION) return available >= 2 ? 2 : 0;
    return 1;
}

// True when pending holds at least one whole key to hand out.
bool has_whole_key() {
    if (pending_len == 0) return false;
    return key_length(pending, pending_len) > 0 || input_ended;
}

}  // namespace

int console_read_keys(unsigned char* keys, int capacity) {
    for (int presses = take_ctrl_c_presses(); presses > 0 && pending_len < static_cast<int>(sizeof pending); --presses)
        pending[pending_len++] = 3;
    if (!input_ended) {
        if (stdin_is_console()) take_from_console();
        else take_from_reader();
    }
    int n = 0;
    while (n < pending_len) {
        int length = key_length(pending + n, pending_len - n);
        if (length == 0 && input_ended) length = 1;  // a lone lead byte at the very end
        if (length == 0 || n + length > capacity) break;
        n += length;
    }
    if (n > 0) {
        std::memcpy(keys, pending, static_cast<std::size_t>(n));
        pending_len -= n;
        std::memmove(pending, pending + n, static_cast<std::size_t>(pending_len));
        return n;
    }
    return input_ended && pending_len == 0 ? 0 : -1;
}

TerminalEvents terminal_wait(SerialHandle port, bool watch_console, int timeout_ms) {
    TerminalEvents events;
    HANDLE handles[3];
    DWORD n = 0;
    const HANDLE wake = stop_wake_event();
    handles[n++] = wake;
    int port_index = -1;
    int console_index = -1;
    if (port != 0) {
        if (const HANDLE ready = serial_wait_handle(port)) {
            port_index = static_cast<int>(n);
            handles[n++] = ready;
        } else if (serial_is_gone(port)) {
            // Nothing to wait on: the read tells the rest.
            events.port = true;
            events.port_gone = true;
        }
    }
    if (watch_console) {
        if (has_whole_key() || input_ended) {
            events.console = true;
        } else if (stdin_is_console()) {
            console_index = static_cast<int>(n);
            handles[n++] = input();
        } else {
            start_reader();
            if (reader.ready) {
                console_index = static_cast<int>(n);
                handles[n++] = reader.ready;
            } else {
                events.console = true;  // no way to read it: the read reports the end
            }
        }
    }
    // Taken before the look at the request and the presses: a later one sets it again.
    ResetEvent(wake);
    if (console_stop_requested()) {
        events.stop_requested = true;
        return events;
    }
    if (watch_console && ctrl_c_pending()) events.console = true;
    const bool at_once = events.port || events.console;
    const DWORD wait_ms = at_once ? 0 : timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
    WaitForMultipleObjects(n, handles, FALSE, wait_ms);
    // The wait names only the first handle that is set; look at each.
    if (console_stop_requested()) events.stop_requested = true;
    if (port_index >= 0 && WaitForSingleObject(handles[port_index], 0) == WAIT_OBJECT_0) {
        events.port = true;
        if (serial_is_gone(port)) events.port_gone = true;
    }
    if (console_index >= 0 && WaitForSingleObject(handles[console_index], 0) == WAIT_OBJECT_0) events.console = true;
    if (watch_console && WaitForSingleObject(wake, 0) == WAIT_OBJECT_0) events.console = true;
    return events;
}

TerminalEvents terminal_wait_for_device(const char*, bool watch_console, int timeout_ms) {
    // Windows tells of arriving ports only to windows and services; the caller's time limit
    // paces the looks instead, and the wait sleeps until then.
    TerminalEvents events = terminal_wait(0, watch_console, timeout_ms);
    if (!events.console && !events.stop_requested) events.device = true;
    return events;
}

void terminal_wait_for_device_end() {}

namespace {

void write_bytes(HANDLE output, const char* bytes, std::size_t n) {
    while (n > 0) {
        const DWORD chunk = n > 0x10000 ? 0x10000 : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!WriteFile(output, bytes, chunk, &written, nullptr) || written == 0) return;
        bytes += written;
        n -= written;
    }
}

// UTF-8 text goes to a console as UTF-16, which it shows whatever its code page: Cyrillic
// from the board reads right on a console set to 866, 1251 or 437 alike.
bool write_text(HANDLE output, const char* bytes, std::size_t n) {
    if (n > 0x100000) return false;
    const int length = static_cast<int>(n);
    const int wide_length = MultiByteToWideChar(CP_UTF8, 0, bytes, length, nullptr, 0);
    if (wide_length <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, length, wide.data(), wide_length);
    for (std::size_t at = 0; at < wide.size();) {
        DWORD written = 0;
        if (!WriteConsoleW(output, wide.data() + at, static_cast<DWORD>(wide.size() - at), &written, nullptr) ||
            written == 0)
            return true;
        at += written;
    }
    return true;
}

}  // namespace

void console_write(const char* bytes, std::size_t n, bool utf8) {
    if (!console_output_begin()) return;
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // A file or a pipe takes the bytes as they are, as the log does; so does a console for
    // bytes that are in its own code page.
    const bool console = GetConsoleMode(output, &mode) != 0;
    if (!(utf8 && console && write_text(output, bytes, n))) write_bytes(output, bytes, n);
    console_output_end();
}
