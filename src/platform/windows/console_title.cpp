#include "platform/console_title.h"

#include <windows.h>

// The window's title, whatever standard output is: a redirected output still has its window.
void console_set_title(const char* text) { SetConsoleTitleA(text); }
