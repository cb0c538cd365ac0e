#include "terminal/terminal_session.h"

int run_terminal(int) { return 0; }
