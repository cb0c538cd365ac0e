// The simulated FET adapter and target, as a FET library table.
#pragma once

#include "fet/fet_library.h"

const FetLibrary* simulator_library();
