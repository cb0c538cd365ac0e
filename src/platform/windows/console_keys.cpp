#include "platform/console_keys.h"

#include <windows.h>

#include <atomic>

#include "platform/temporary_file.h"
#include "platform/terminal_wait.h"
#include "platform/windows/windows_console.h"

namespace {

// How a stop ends the process: the status the console's own Ctrl-C handling gives.
constexpr UINT STOP_EXIT_STATUS = 0xC000013A;  // STATUS_CONTROL_C_EXIT

// The console event that asked for the stop while a loop listened, plus one; 0 for none.
std::atomic<DWORD> stop_request{0};
std::atomic<int> ctrl_c_presses{0};

// The console handler runs on a thread of its own, so everything it reads is atomic.
std::atomic<bool> listening{false};
std::atomic<bool> output_may_block{false};
std::atomic<bool> raw{false};
std::atomic<bool> mode_changed{false};
DWORD saved_mode = 0;
bool have_saved_mode = false;
// The window's title at start, given back on the way out.
char saved_title[1024];
std::atomic<bool> title_saved{false};
HANDLE wake_event = nullptr;
bool installed = false;

HANDLE input() { return GetStdHandle(STD_INPUT_HANDLE); }

void restore_mode() {
    raw = false;
    if (have_saved_mode && mode_changed.exchange(false)) SetConsoleMode(input(), saved_mode);
    if (title_saved.exchange(false)) SetConsoleTitleA(saved_title);
}

// Keys as key events, without echo or line editing; mouse and window events would only wake
// the wait for nothing. With processed input Ctrl-C stops the program; without, it is a key
// for the board.
void set_mode(bool processed) {
    if (!have_saved_mode) return;
    DWORD mode = saved_mode;
    mode &= ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                ENABLE_VIRTUAL_TERMINAL_INPUT | ENABLE_MOUSE_INPUT | ENABLE_WINDOW_INPUT);
    if (processed) mode |= ENABLE_PROCESSED_INPUT;
    mode_changed = true;
    raw = !processed;
    SetConsoleMode(input(), mode);
}

void set_raw() { set_mode(false); }

bool closing(DWORD type) {
    return type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI on_console_event(DWORD type) {
    // Some consoles raise Ctrl-C as an event even with processed input off: it is the board's.
    if (type == CTRL_C_EVENT && raw && listening) {
        ++ctrl_c_presses;
        SetEvent(wake_event);
        return TRUE;
    }
    restore_mode();
    remove_temporary_files();
    if (listening && !output_may_block) {
        stop_request = type + 1;
        SetEvent(wake_event);
        // A closing window ends the process as soon as this returns: give the loop the time
        // to close the port and the log and end it first.
        if (closing(type)) Sleep(INFINITE);
        return TRUE;
    }
    // The system's own handler ends the process.
    return FALSE;
}

}  // namespace

HANDLE stop_wake_event() {
    if (!wake_event) wake_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return wake_event;
}

int take_ctrl_c_presses() { return ctrl_c_presses.exchange(0); }

bool ctrl_c_pending() { return ctrl_c_presses > 0; }

bool stdin_is_console() {
    DWORD mode = 0;
    return GetConsoleMode(input(), &mode) != 0;
}

void console_keys_install() {
    if (!mode_changed) have_saved_mode = GetConsoleMode(input(), &saved_mode) != 0;
    DWORD output_mode = 0;
    if (!title_saved && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &output_mode) &&
        GetConsoleTitleA(saved_title, sizeof saved_title) > 0)
        title_saved = true;
    if (installed) return;
    installed = true;
    stop_wake_event();
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void console_keys_quiet() {
    console_keys_install();
    set_mode(true);
}

void console_keys_raw() {
    console_keys_install();
    set_raw();
}

void console_keys_restore() { restore_mode(); }

bool console_input_is_terminal() { return stdin_is_console(); }

void console_stops_listen(bool on) { listening = on; }

bool console_stop_requested() { return stop_request != 0; }

bool console_output_begin() {
    // Set before the look at the request: one that comes in between ends the process itself.
    output_may_block = true;
    if (stop_request == 0) return true;
    output_may_block = false;
    return false;
}

void console_output_end() { output_may_block = false; }

void console_stop_now() {
    restore_mode();
    ExitProcess(STOP_EXIT_STATUS);
}
