#include "platform/console_keys.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include "platform/posix/posix_console.h"
#include "platform/temporary_file.h"
#include "platform/terminal_wait.h"

namespace {

// The signal that asked for the stop while a loop listened; 0 for none.
volatile std::sig_atomic_t stop_signal = 0;

// The console's modes: as found at start, the quiet mode outside the terminal, the terminal's.
enum Mode { SAVED, QUIET, RAW };
termios modes[3];
volatile std::sig_atomic_t have_saved_mode = 0;
volatile std::sig_atomic_t mode_now = SAVED;    // what the console is in
volatile std::sig_atomic_t mode_wanted = SAVED; // what it goes back to after a stop (SIGTSTP)
volatile std::sig_atomic_t title_saved = 0;
volatile std::sig_atomic_t listening = 0;
volatile std::sig_atomic_t output_may_block = 0;
bool installed = false;

// Pushes and pops the window title on the terminal's title stack (xterm and its kin).
constexpr char TITLE_PUSH[] = "\x1b[22;0t";
constexpr char TITLE_POP[] = "\x1b[23;0t";

// A pipe the handler writes one byte into while a loop listens, so that a loop waiting in poll
// wakes up even when the signal came just before it went to sleep.
int wake_pipe[2] = {-1, -1};

// Everything below is async-signal-safe: the handlers use it too.
void set_mode(int mode) {
    if (!have_saved_mode || mode_now == mode) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &modes[mode]);
    mode_now = mode;
}

void restore_console() {
    set_mode(SAVED);
    if (title_saved) {
        title_saved = 0;
        // Only when the console takes it at once: a console that takes no output (after
        // Ctrl-S) must not keep a stop request from ending the program.
        pollfd room{STDOUT_FILENO, POLLOUT, 0};
        if (poll(&room, 1, 0) == 1 && (room.revents & POLLOUT)) {
            [[maybe_unused]] const ssize_t ignored = write(STDOUT_FILENO, TITLE_POP, sizeof TITLE_POP - 1);
        }
    }
}

void on_signal(int signal_number) {
    // The console is whole again whatever happens next.
    const int saved_errno = errno;
    restore_console();
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

void on_suspend(int);

void handle(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked read returns and its loop sees the signal
    sigaction(signal_number, &action, nullptr);
}

// Job control (Ctrl-Z, kill -TSTP): the shell gets its console back while the program is
// stopped, and the program its own mode when it goes on.
void on_suspend(int) {
    const int saved_errno = errno;
    const int mode = mode_wanted;
    set_mode(SAVED);
    signal(SIGTSTP, SIG_DFL);
    sigset_t suspend;
    sigemptyset(&suspend);
    sigaddset(&suspend, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &suspend, nullptr);
    raise(SIGTSTP);  // stops here; a process nobody could continue is not stopped at all
    handle(SIGTSTP, on_suspend);
    set_mode(mode);
    errno = saved_errno;
}

// Also after a stop that could not be caught (SIGSTOP), the shell may have changed the mode.
void on_continue(int) {
    const int saved_errno = errno;
    if (mode_wanted != SAVED) {
        mode_now = SAVED;  // whatever it is now, set it again
        set_mode(mode_wanted);
    }
    errno = saved_errno;
}

void want_mode(int mode) {
    mode_wanted = mode;
    set_mode(mode);
}

}  // namespace

void console_keys_install() {
    // While the program has not changed the mode, the mode now is the one to come back to:
    // taken afresh, it also fits a standard input that was replaced since the first call (a
    // forked child on another terminal).
    if (mode_now == SAVED) {
        console_input_forget();
        have_saved_mode = 0;
        if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &modes[SAVED]) == 0) {
            // Quiet: keys wait unseen and unedited, Enter stays CR, Ctrl-S is a key; Ctrl-C
            // and Ctrl-Z keep their meaning. Raw: the same, and Ctrl-C and Ctrl-Z are keys too.
            // Output processing stays on in both, so LF still shows as CR LF.
            termios quiet = modes[SAVED];
            quiet.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
            quiet.c_cc[VMIN] = 1;
            quiet.c_cc[VTIME] = 0;
            modes[QUIET] = quiet;
            modes[RAW] = quiet;
            modes[RAW].c_lflag &= ~static_cast<tcflag_t>(ISIG);
            have_saved_mode = 1;
        }
    }
    if (!title_saved && console_takes_titles()) {
        title_saved = 1;
        [[maybe_unused]] const ssize_t ignored = write(STDOUT_FILENO, TITLE_PUSH, sizeof TITLE_PUSH - 1);
    }
    if (installed) return;
    installed = true;
    if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
    for (const int stop : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) handle(stop, on_signal);
    handle(SIGTSTP, on_suspend);
    handle(SIGCONT, on_continue);
}

void console_keys_quiet() {
    console_keys_install();
    want_mode(QUIET);
}

void console_keys_raw() {
    console_keys_install();
    want_mode(RAW);
}

void console_keys_restore() {
    mode_wanted = SAVED;
    restore_console();
}

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
    console_keys_restore();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    std::_Exit(128 + signal_number);
}
