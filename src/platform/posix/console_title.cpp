#include "platform/console_title.h"

#include <unistd.h>

#include <cstdio>

void console_set_title(const char* text) {
    // A pipe or a file would only collect the escape sequence as garbage.
    if (!isatty(STDOUT_FILENO)) return;
    std::fprintf(stdout, "\x1b]0;%s\a", text);
    std::fflush(stdout);
}
