#include "sim/sim_library.h"

const FetLibrary* simulator_library() { return nullptr; }
