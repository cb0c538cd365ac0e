// ELF executables, as the MSP430 compilers link them, read into an image the way
// `objcopy -O ihex` reads them.
#pragma once

#include <string>
#include <string_view>

#include "image/memory_image.h"

// True when the file's content begins with the ELF magic number.
bool is_elf(std::string_view file);

// Reads a 32-bit little-endian ELF executable for the MSP430 (machine 105), whole, from memory.
//
// The image holds the allocated sections with contents (SHF_ALLOC, not SHT_NOBITS, size above 0)
// at their load addresses. A section's load address is the p_paddr of the PT_LOAD segment that
// holds it plus the section's offset inside that segment: the initial values of .data are
// stored in flash there, while the section's own address lies in RAM. A section that no
// segment holds stays at its own address. Bytes of a segment that belong to no such section
// are left out: ld.lld, for one, maps the ELF and program headers at address 0 in a loadable
// segment of their own, and programming those would write into the peripheral registers. A
// file without section headers gives its PT_LOAD segments at p_paddr instead.
//
// Anything else (another machine or class, big-endian, an object file, truncated headers,
// sections or segments, two pieces that give one address different bytes, bytes beyond 1 MB)
// returns false with `error` saying why, without the file's name.
bool read_elf_image(std::string_view file, MemoryImage& image, std::string& error);
