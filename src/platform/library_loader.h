// Shared libraries loaded at run time.
#pragma once

#include <string>

// The platform's file name for a library called `name`: "lib<name>.so" on Linux.
std::string library_file_name(const char* name);

// Opens file_name, first from the folder the executable lives in, then through the system's
// library search. Null on failure, with `reason` set to the loader's own words (for a file
// that exists beside the executable but cannot be loaded, its reason rather than the search's).
void* library_open(const std::string& file_name, std::string& reason);

// The address of symbol in an open library, or null with `reason` set.
void* library_symbol(void* library, const char* symbol, std::string& reason);

void library_close(void* library);
