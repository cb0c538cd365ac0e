// Descriptor writes that do not give up on an interruption or a short count.
#pragma once

#include <cstddef>

// Writes all n bytes, going on after interruptions, short counts and a full buffer. Returns 0,
// or the error that stopped it. With stall_ms of 0 or more, output that makes no progress for
// that long ends with ETIMEDOUT instead of waiting for ever.
int write_all(int fd, const char* bytes, std::size_t n, int stall_ms = -1);
