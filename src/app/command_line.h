// The command line and the usage text.
#pragma once

// Fills settings from the arguments, or ends the program on the first bad one (or after a
// listing or the usage text given as the first argument).
void parse_command_line(int argc, char** argv);

// The usage text with the values of the moment; raises print_level to 2 first.
void print_usage();
