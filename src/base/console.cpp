#include "base/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/run_settings.h"
#include "platform/console_keys.h"
#include "platform/console_title.h"
#include "platform/terminal_wait.h"

ExitInterceptor exit_interceptor = nullptr;

namespace {

constexpr int MAX_EXIT_CLEANUPS = 8;
void (*exit_cleanups[MAX_EXIT_CLEANUPS])() = {};
int exit_cleanup_count = 0;

}  // namespace

void add_exit_cleanup(void (*cleanup)()) {
    for (int i = 0; i < exit_cleanup_count; ++i)
        if (exit_cleanups[i] == cleanup) return;
    if (exit_cleanup_count < MAX_EXIT_CLEANUPS) exit_cleanups[exit_cleanup_count++] = cleanup;
}

int exit_status_for(int code) {
    if (code == EXIT_DONE && EXIT_STATUS_WHOLE) return EXIT_DONE;
    return code == EXIT_DONE || code == EXIT_QUIET ? 0 : code;
}

void vprint_plain(const char* format, va_list args) {
    std::vprintf(format, args);
    std::fflush(stdout);
}

void print_at_level(int level, const char* format, ...) {
    if (level > settings.print_level) return;
    va_list args;
    va_start(args, format);
    vprint_plain(format, args);
    va_end(args);
}

void print_plain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprint_plain(format, args);
    va_end(args);
}

std::string volts_text(long long millivolts) {
    return std::to_string(millivolts / 1000) + "." + std::to_string(millivolts % 1000 / 100);
}

namespace {

// Built as a string rather than in a fixed buffer: the image name is kept whole, however long.
std::string compose_title(const char* text) {
    std::string title = std::string(PROGRAM_NAME) + " Terminal";
    if (settings.port_name[0]) title += std::string("  [") + settings.port_name + "]";
    if (settings.fet_port[0]) title += std::string("  [") + settings.fet_port + "]";
    if (text && text[0]) title += std::string("  ") + text;
    if (!settings.program_file.empty()) title += "    [F9=" + settings.program_file + "]";
    return title;
}

[[noreturn]] void end_process(int status) {
    std::fflush(stdout);
    console_keys_restore();
    if (exit_interceptor) exit_interceptor(status);
    std::exit(status);
}

// Blocks until one key arrives, the console raw meanwhile. Returns at once when standard input
// is no console, so that a script never hangs; a stop requested meanwhile ends the process as
// the stop asks.
void wait_for_a_key() {
    if (!console_input_is_terminal()) return;
    console_keys_raw();
    console_stops_listen(true);
    for (;;) {
        // The look at the stop request and the wait are one step: a request that came just
        // before a blocking read would otherwise leave the program waiting for a key.
        const TerminalEvents events = terminal_wait(0, true, -1);
        if (events.stop_requested) {
            console_stops_listen(false);
            console_stop_now();
        }
        // Key releases, focus changes and a sequence still coming wake the wait too; only a
        // whole key ends it. A function key's bytes are taken together, so none spill into the
        // shell.
        unsigned char keys[CONSOLE_KEY_MAX];
        if (events.console && console_read_keys(keys, CONSOLE_KEY_MAX) >= 0) break;
    }
    console_stops_listen(false);
}

}  // namespace

void set_title(const char* text) { console_set_title(compose_title(text).c_str()); }

void exit_program(int code) {
    for (int i = 0; i < exit_cleanup_count; ++i) exit_cleanups[i]();
    const int status = exit_status_for(code);
    if (code == EXIT_QUIET) end_process(status);
    // Nobody is there to press a key in an unattended run, whatever -a said.
    if (settings.anykey_mode == 0 || unattended_run(settings)) end_process(status);
    if (settings.anykey_mode == 1 && code == EXIT_DONE) end_process(status);
    print_at_level(0, "\nPress AnyKey to Exit\n");
    if (code != EXIT_DONE) std::fputs("\a\a\a", stdout);
    std::fflush(stdout);
    wait_for_a_key();
    end_process(status);
}
