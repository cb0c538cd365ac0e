// The program's top level: parse, open the port, then passes and terminal sessions in turn.
#pragma once

[[noreturn]] void run_cycle(int argc, char** argv);
