#include "app/run_cycle.h"

#include <cstdio>

#include "app/command_line.h"
#include "base/console.h"
#include "base/run_settings.h"
#include "fet/fet_library.h"
#include "fet/programming_pass.h"
#include "platform/console_keys.h"
#include "terminal/serial_port.h"
#include "terminal/terminal_session.h"

void run_cycle(int argc, char** argv) {
    // Quiet from the start: keys typed during a programming pass or a reopen wait for the
    // terminal unseen, as the keys they were.
    console_keys_quiet();
    parse_command_line(argc, argv);
    choose_fet_library(settings.fet_port);
    set_title("");
    if (settings.port_name[0]) open_serial_port();
    for (;;) {
        if (settings.flags & FLAG_AUTOSTART) programming_pass();
        if (!(settings.flags & FLAG_TERMINAL)) exit_program(EXIT_DONE);
        int reopen_count = 0;
        int result;
        for (;;) {
            set_title("");
            result = run_terminal(reopen_count, print_usage);
            ++reopen_count;
            if (result != TERMINAL_REOPEN) break;
            std::fputs("Wait...\n", stdout);
            set_title("Wait...");
            close_serial_port();
            open_serial_port();
            std::fputs("\n", stdout);
        }
        if (result != TERMINAL_PROGRAM) exit_program(EXIT_QUIET);
        std::fputs("\n", stdout);
        settings.flags &= ~FLAG_INFO;
        settings.flags |= FLAG_AUTOSTART;
    }
}
