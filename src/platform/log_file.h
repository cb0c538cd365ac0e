// The terminal's log: an ordinary file that only ever grows.
#pragma once

#include <cstddef>

// Opens name for appending, creating it (readable and writable by all, less the umask) when it
// does not exist; never truncates. The descriptor is above 2, or -1 when the open failed.
int log_file_open(const char* name);

// Writes every byte, past interruptions and short writes. 0, or the error (an errno value) that
// stopped it: a full disk leaves the file cut short.
int log_file_write(int fd, const char* bytes, std::size_t n);

void log_file_close(int fd);
