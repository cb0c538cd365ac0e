#include "driver/command_line.h"

void parse_command_line(int, char**) {}
void print_usage() {}
