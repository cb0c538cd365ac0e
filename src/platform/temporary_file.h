// Files the program makes for a moment in the system's temporary folder and removes again: after
// use, and from a signal handler when the process is ended meanwhile.
#pragma once

#include <cstdio>
#include <string>

// Creates a new, empty file in the system's temporary folder (TMPDIR, else /tmp on Linux and
// TMP or TEMP on Windows), whose name begins with "kesto-" and ends with suffix, and opens it
// for writing. The file is remembered until remove_temporary_file. Null on failure, with `reason`
// giving the system's words.
std::FILE* create_temporary_file(const char* suffix, std::string& path, std::string& reason);

// Creates a new, empty file beside target, named after it with a unique ending, to take the
// target's place once it is complete (replace_file); opened for writing and remembered as above.
std::FILE* create_file_beside(const std::string& target, std::string& path, std::string& reason);

// Forgets the file without removing it: it has been renamed into its place.
void keep_temporary_file(const std::string& path);

// Removes the file and forgets it.
void remove_temporary_file(const std::string& path);

// Removes every temporary file still there. Async-signal-safe, for the signal handler that
// ends the process.
void remove_temporary_files();
