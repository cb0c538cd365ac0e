// Descriptor writes that do not give up on an interruption or a short count.
#pragma once

#include <cstddef>

// Returns false when the descriptor refuses the rest (the error is in errno).
bool write_all(int fd, const char* bytes, std::size_t n);
