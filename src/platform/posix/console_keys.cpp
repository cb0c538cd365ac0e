#include "platform/console_keys.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "platform/posix/posix_console.h"
#include "platform/temporary_file.h"
#include "platform/terminal_wait.h"

namespace {

// The signal that asked for the stop while a loop listened; 0 for none.
volatile std::sig_atomic_t stop_signal = 0;

termios saved_mode;
volatile std::sig_atomic_t have_saved_mode = 0;
volatile std::sig_atomic_t mode_changed = 0;
volatile std::sig_atomic_t listening = 0;
volatile std::sig_atomic_t output_may_block = 0;
bool installed = false;

// A pipe the handler writes one byte into while a loop listens, so that a loop waiting in poll
// wakes up even when the signal came just before it went to sleep.
int wake_pipe[2] = {-1, -1};

void restore_mode() {
    if (have_saved_mode && mode_changed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
        mode_changed = 0;
    }
}

void on_signal(int signal_number) {
    // tcsetattr is async-signal-safe, so the console is whole again whatever happens next.
    const int saved_errno = errno;
    restore_mode();
    remove_temporary_files();
    if (listening && !output_may_block) {
        stop_signal = signal_number;
        if (wake_pipe[1] >= 0) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t ignored = write(wake_pipe[1], &byte, 1);
        }
        errno = saved_errno;
        return;
    }
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    errno = saved_errno;
}

void set_raw(bool keep_output_processing) {
    if (!have_saved_mode) return;
    termios raw = saved_mode;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    if (!keep_output_processing) raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    mode_changed = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

}  // namespace

void console_keys_install() {
    // While the program has not changed the mode, the mode now is the one to come back to:
    // taken afresh, it also fits a standard input that was replaced since the first call (a
    // forked child on another terminal).
    if (!mode_changed) {
        console_input_forget();
        have_saved_mode = 0;
        if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_mode) == 0) have_saved_mode = 1;
    }
    if (installed) return;
    installed = true;
    if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked read returns and its loop sees the signal
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void console_keys_raw() {
    console_keys_install();
    set_raw(true);
}

void console_keys_restore() { restore_mode(); }

int stop_wake_descriptor() { return wake_pipe[0]; }

bool console_input_is_terminal() { return isatty(STDIN_FILENO) == 1; }

void console_stops_listen(bool on) { listening = on ? 1 : 0; }

bool console_stop_requested() { return stop_signal != 0; }

bool console_output_begin() {
    // Set before the look at stop_signal: a signal in between then ends the process itself.
    output_may_block = 1;
    if (!stop_signal) return true;
    output_may_block = 0;
    return false;
}

void console_output_end() { output_may_block = 0; }

void console_stop_now() {
    const int signal_number = stop_signal ? static_cast<int>(stop_signal) : SIGTERM;
    restore_mode();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    std::_Exit(128 + signal_number);
}

void console_key_wait() {
    if (!console_input_is_terminal()) return;
    console_keys_install();
    set_raw(true);
    console_stops_listen(true);
    for (;;) {
        // The look at the stop flag and the wait are one step: a signal that came just before
        // a blocking read would otherwise leave the program waiting for a key.
        const TerminalEvents events = terminal_wait(0, true, -1);
        if (events.stop_requested) {
            console_stops_listen(false);
            console_stop_now();
        }
        if (!events.console) continue;
        // A function key sends several bytes; they are read together, so none spill into the
        // shell, and decoded into one key.
        unsigned char keys[CONSOLE_KEY_MAX];
        if (console_read_keys(keys, CONSOLE_KEY_MAX) >= 0) break;
    }
    console_stops_listen(false);
    restore_mode();
}
