// The vendor's FET library, loaded at run time.
#pragma once

#include "base/fet_interface.h"
#include "fet/fet_generation.h"

// Loads the library once: first from the executable's own folder, then through the system's
// library search. Either generation fills the program's table: the original one directly, the
// current one through small adapters. When the library or one of its functions cannot be
// loaded, the table returned fails every call with a text that names the library and the
// loader's reason.
const FetLibrary* vendor_library();

// True when the library and all its functions loaded.
bool vendor_library_loaded();

// The generation found by its exports; builtin when nothing loaded.
FetGeneration vendor_library_generation();
