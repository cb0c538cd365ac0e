// What each system gives the temporary files' shared bookkeeping (temporary_file.cpp).
#pragma once

#include <cstdio>
#include <string>

// The system's temporary folder with a separator behind it; false with `reason` when it has none.
bool temporary_folder(std::string& folder, std::string& reason);

// Creates a new file from `name`, whose six characters before the last `suffix_length` are
// "XXXXXX": they are replaced in place until the name is one that did not exist. Open for
// writing, or null with `reason` and no file left behind. Private to the user, unless `ordinary`:
// then with the permissions any new file gets (less the umask), as it is to stay.
std::FILE* open_unique_file(char* name, std::size_t suffix_length, bool ordinary, std::string& reason);

// Removes the file. Async-signal-safe (and safe in the console's stop handler on Windows).
void delete_file_now(const char* path);
