#include "app/run_cycle.h"

int main(int argc, char** argv) { run_cycle(argc, argv); }
