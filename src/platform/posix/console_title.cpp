#include "platform/console_title.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/posix_console.h"

bool console_takes_titles() {
    const char* term = std::getenv("TERM");
    return isatty(STDOUT_FILENO) && !(term && std::strcmp(term, "dumb") == 0);
}

void console_set_title(const char* text) {
    if (!console_takes_titles()) return;
    std::fprintf(stdout, "\x1b]0;%s\a", text);
    std::fflush(stdout);
}
