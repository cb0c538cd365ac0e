// The console window's title.
#pragma once

// Shows text as the title; does nothing when standard output is not a terminal.
void console_set_title(const char* text);
