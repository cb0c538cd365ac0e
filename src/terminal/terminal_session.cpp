#include "terminal/terminal_session.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/console.h"
#include "base/run_settings.h"
#include "fet/programming_pass.h"
#include "platform/console_keys.h"
#include "platform/log_file.h"
#include "platform/port_hints.h"
#include "platform/system_error.h"
#include "platform/terminal_wait.h"
#include "terminal/expectations.h"
#include "terminal/render.h"
#include "terminal/serial_port.h"

namespace {

// One batch and a terminator, with the one byte the read is told to leave free.
constexpr int RX_BUF_SIZE = 512;
static_assert(RX_BUF_SIZE - 2 == RX_BATCH_MAX);

// A line keeps its first 64 characters for the recall.
constexpr int LINE_KEEP = 64;

constexpr int KEEP_RUNNING = -1;
constexpr int STOP = 0;
constexpr int FINISHED = -2;  // an unattended run is over

constexpr unsigned char KEY_CTRL_X = 24;
constexpr unsigned char KEY_CTRL_RIGHT_BRACKET = 29;
constexpr unsigned char KEY_ENTER = 13;
constexpr unsigned char ACK = 0x06;


// The terminal's buffers live for the whole run; last_line is kept from one entry to the next.
unsigned char rx_buf[RX_BUF_SIZE];
char render_buf[RENDER_BUF_SIZE];
unsigned char line_buf[LINE_KEEP + 1];
unsigned char last_line[LINE_KEEP + 1];
int last_line_len = 0;

// Keys typed but not yet handled when the terminal returns stay here for its next entry, as
// they would in the console's own input queue.
struct Keyboard {
    unsigned char keys[128];
    int keys_len = 0;
    bool open = true;

    bool wants_input() const { return open && keys_len + CONSOLE_KEY_MAX <= static_cast<int>(sizeof keys); }
    bool has_key() const { return keys_len > 0; }

    // True when keys came.
    bool read_console() {
        const int n = console_read_keys(keys + keys_len, static_cast<int>(sizeof keys) - keys_len);
        if (n == 0) open = false;  // end of input: nothing more will come, stop watching it
        if (n > 0) keys_len += n;
        return n > 0;
    }

    // Keeps the terminal's own keys (a lead byte 0 with its code, Ctrl-X) and drops every key
    // meant for the board; returns how many were dropped.
    int drop_board_keys() {
        int kept = 0;
        int dropped = 0;
        for (int i = 0; i < keys_len;) {
            if (keys[i] == KEY_LEAD_FUNCTION && i + 1 < keys_len) {
                keys[kept++] = keys[i++];
                keys[kept++] = keys[i++];
            } else if (keys[i] == KEY_CTRL_X) {
                keys[kept++] = keys[i++];
            } else {
                i += keys[i] == KEY_LEAD_EDITING && i + 1 < keys_len ? 2 : 1;
                ++dropped;
            }
        }
        keys_len = kept;
        return dropped;
    }

    unsigned char take() {
        const unsigned char key = keys[0];
        --keys_len;
        std::memmove(keys, keys + 1, static_cast<std::size_t>(keys_len));
        return key;
    }
};

Keyboard keyboard;
void (*usage_printer)() = nullptr;

void open_log_once() {
    if (settings.log_fd != 0) return;
    settings.log_fd = log_file_open(settings.log_name);
    if (settings.log_fd <= 0) settings.log_fd = -1;
}

void print_banner(int reopen_count) {
    std::printf("\n%s Terminal started\n", "Dumb");
    if (reopen_count == 0) {
        std::fputs("\t [F10]-Exit [F5]-Reset", stdout);
        if (settings.flags & FLAG_PROGRAM) std::fputs(", [F9]-Programming", stdout);
        std::fputs("\n", stdout);
    }
    std::fflush(stdout);
}

// A log that stopped taking bytes (a full disk) is said so once; the terminal goes on without it.
void give_up_log(int error) {
    log_file_close(settings.log_fd);
    settings.log_fd = -1;
    std::printf("\nCannot write the log %s: %s; the terminal goes on without it\n", settings.log_name,
                std::strerror(error));
}

// Returns how many bytes came.
int show_batch() {
    int count = 0;
    serial_read(reinterpret_cast<char*>(rx_buf), RX_BUF_SIZE - 1, count, 0, 500);
    if (count <= 0) return 0;
    RenderOptions options;
    options.crlf = (settings.flags & FLAG_CRLF) != 0;
    options.pass_high = settings.oem_codepage != 0;
    const RenderResult rendered = render_batch(rx_buf, count, options, render_buf);
    // The board waits for its answer; it goes out before anything of the batch is shown.
    for (int i = 0; i < rendered.enquiries; ++i) serial_write(&ACK, 1);
    const auto length = static_cast<std::size_t>(rendered.length);
    unattended_feed(render_buf, length);
    // The log first: a console that takes no output (and a signal that ends the run meanwhile)
    // must not keep received bytes out of the log.
    const int log_error = settings.log_fd > 0 ? log_file_write(settings.log_fd, render_buf, length) : 0;
    std::fflush(stdout);  // whatever the stream still holds comes first
    console_write(render_buf, length, !options.pass_high);
    if (log_error != 0) give_up_log(log_error);
    std::fflush(stdout);
    return count;
}

void stop_text() {
    std::fputs("\n\nTerminal stopped\n\n", stdout);
    std::fflush(stdout);
    if (settings.log_fd > 0) log_file_close(settings.log_fd);
}

[[noreturn]] void leave_on_stop() {
    if (settings.log_fd > 0) log_file_close(settings.log_fd);
    std::fflush(stdout);
    console_stops_listen(false);
    console_stop_now();
}

void reset_target() {
    std::fputs("\nReset...\n", stdout);
    if (init_fet(4) == 0) reset_device(4);
}

int function_key(unsigned char code) {
    switch (code) {
        case KEY_F1:
            if (usage_printer) usage_printer();
            return KEEP_RUNNING;
        case KEY_F4:
            return settings.write_errors > 0 ? TERMINAL_REOPEN : KEEP_RUNNING;
        case KEY_F5:
            reset_target();
            return KEEP_RUNNING;
        case KEY_F9:
            settings.flags |= FLAG_PROGRAM;
            std::fputs("\nProgrammer started", stdout);
            return TERMINAL_PROGRAM;
        case KEY_F10:
        case KEY_ALT_O:
            return STOP;
        default:
            return KEEP_RUNNING;
    }
}

int ordinary_key(unsigned char key, int& line_len) {
    switch (key) {
        case KEY_CTRL_X:
            return STOP;
        case KEY_CTRL_RIGHT_BRACKET:
            std::memcpy(line_buf, last_line, static_cast<std::size_t>(last_line_len));
            line_len = last_line_len;
            if (line_len > 0) serial_write(line_buf, static_cast<std::size_t>(line_len));
            return KEEP_RUNNING;
        case KEY_ENTER:
            if (line_len >= 2) {
                std::memcpy(last_line, line_buf, static_cast<std::size_t>(line_len));
                last_line_len = line_len;
                last_line[last_line_len] = 0;
            }
            line_len = 0;
            serial_write(&key, 1);
            return KEEP_RUNNING;
        default:
            // A line keeps its first 64 characters; later ones are sent but not kept.
            if (line_len < LINE_KEEP) line_buf[line_len++] = key;
            serial_write(&key, 1);
            return KEEP_RUNNING;
    }
}

int handle_key(int& line_len) {
    const unsigned char key = keyboard.take();
    if (key != KEY_LEAD_FUNCTION) return ordinary_key(key, line_len);
    // The decoder hands over a lead byte and its code together.
    const unsigned char code = keyboard.has_key() ? keyboard.take() : 0;
    const int result = function_key(code);
    // What the key printed shows now, not with the board's next batch.
    std::fflush(stdout);
    return result;
}

// After a write that the port did not take: each key typed meanwhile would wait its turn behind
// another failing write, and F10 behind all of them. The keys typed so far are read now; those
// for the board are dropped, the terminal's own stay to be acted on at once.
void drop_keys_for_board() {
    int dropped = 0;
    do dropped += keyboard.drop_board_keys();
    while (keyboard.wants_input() && keyboard.read_console());
    if (dropped == 0) return;
    std::printf("%d typed keys dropped, not sent\n", dropped);
    std::fflush(stdout);
}

bool port_gone() { return settings.port_name[0] && settings.port_handle <= 0; }

// The device is given up at once, so that the system can give it its old name when it returns.
void lose_port() {
    if (settings.port_handle > 0) close_serial_port();
    std::printf("Port lost, waiting for %s to come back... [F10]-Exit\n", serial_port_shown_name());
    std::fflush(stdout);
    set_title("Wait...");
}

// How often a gone port is looked for, whatever the system tells of its return.
constexpr int PORT_LOOK_MS = 250;
// A port that is back but refused (busy, no permission yet) is reported once it has stayed so
// this long: udev gives a new device its permissions a moment after it appears.
constexpr auto REFUSAL_SHOWN_AFTER = std::chrono::milliseconds(500);

// Until the port's device is back and open again with the same settings (KEEP_RUNNING), or a
// key leaves the terminal. Keys for the board typed meanwhile are dropped: they were meant for a
// board that was not there.
int wait_for_port(int& line_len) {
    using Clock = std::chrono::steady_clock;
    long refused = 0;
    long reported = 0;
    Clock::time_point refused_since{};
    for (;;) {
        if (unattended_over()) return FINISHED;
        const int wait_ms = keyboard.has_key() ? 0 : unattended_wait_ms(PORT_LOOK_MS);
        const TerminalEvents events = terminal_wait_for_device(settings.port_name, keyboard.wants_input(), wait_ms);
        if (events.stop_requested) leave_on_stop();
        if (events.console) keyboard.read_console();
        keyboard.drop_board_keys();
        while (keyboard.has_key()) {
            const int result = handle_key(line_len);
            if (result != KEEP_RUNNING) return terminal_wait_for_device_end(), result;
        }
        if (!events.device) continue;
        const long error = reopen_serial_port();
        if (error == 0) {
            terminal_wait_for_device_end();
            std::printf("Port back: %s\n", serial_port_shown_name());
            std::fflush(stdout);
            set_title("");
            return KEEP_RUNNING;
        }
        if (system_error_kind(error) == SystemErrorKind::no_device) {
            refused = 0;
        } else if (error != refused) {
            refused = error;
            refused_since = Clock::now();
        } else if (error != reported && Clock::now() - refused_since >= REFUSAL_SHOWN_AFTER) {
            reported = error;
            std::printf("%s is back but cannot be opened. Error: %ld\n%s", serial_port_shown_name(), error,
                        serial_open_hint(settings.port_name, error).c_str());
            std::fflush(stdout);
        }
    }
}

int terminal_loop() {
    int line_len = 0;
    if (port_gone()) lose_port();  // it went during the programming pass that F9 started
    for (;;) {
        if (port_gone()) {
            const int result = wait_for_port(line_len);
            if (result != KEEP_RUNNING) return result;
        }
        if (!keyboard.open && !keyboard.has_key() && settings.port_handle <= 0) {
            // No key can come any more (standard input has ended) and no port was named: the
            // session could only idle for ever, which would hang a script. Texts still expected
            // are waited for until the time-out, if there is one.
            if (!unattended_expecting()) return STOP;
            if (settings.timeout_tenths <= 0) return FINISHED;
        }
        const int errors_before = settings.write_errors;
        // No sleep while keys are queued; an unattended run's wait ends with its time.
        const PortWait port = serial_port_wait();
        const int wait_ms = keyboard.has_key() ? 0 : unattended_wait_ms(port.timeout_ms);
        const TerminalEvents events = terminal_wait(port.device, keyboard.wants_input(), wait_ms);
        if (events.stop_requested) leave_on_stop();
        if (events.port || port.polled) show_batch();
        if (events.port_gone) {
            // What came before the device went is shown and logged first.
            for (int batches = 0; batches < 64 && show_batch() > 0; ++batches) continue;
            lose_port();
            continue;
        }
        if (unattended_over()) return FINISHED;
        if (events.console) keyboard.read_console();
        if (keyboard.has_key()) {
            const int result = handle_key(line_len);
            if (result != KEEP_RUNNING) return result;
        }
        if (settings.write_errors != errors_before) {
            drop_keys_for_board();
            if (serial_port_lost()) lose_port();
        }
    }
}

}  // namespace

int run_terminal(int reopen_count, void (*show_usage)()) {
    usage_printer = show_usage;
    open_log_once();
    unattended_start();
    // Raw before the banner: a key typed as soon as the banner shows must not be echoed.
    console_keys_raw();
    print_banner(reopen_count);
    console_stops_listen(true);
    const int result = terminal_loop();
    if (result == STOP) stop_text();
    console_stops_listen(false);
    terminal_wait_for_device_end();
    console_keys_quiet();
    if (result == FINISHED) unattended_finish();
    return result;
}
