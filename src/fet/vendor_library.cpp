#include "fet/vendor_library.h"

const FetLibrary* vendor_library() { return nullptr; }
bool vendor_library_loaded() { return false; }
