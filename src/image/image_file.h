// Image files as a whole: the format told by the content, and the read-out written safely.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/memory_image.h"

enum ImageResult : int { IMAGE_OK = 0, IMAGE_UNREADABLE, IMAGE_FORMAT };

// Reads an ELF, Intel HEX or TI-TXT file, told apart by their content: the ELF magic number
// first, else the first non-blank character. The whole file is read before the result is
// used, so a bad file changes nothing. On failure `error` names the file and, where there is
// one, the line. Returns IMAGE_OK, IMAGE_UNREADABLE (the file cannot be opened or read) or
// IMAGE_FORMAT.
int read_image_file(const char* path, MemoryImage& image, std::string& error);

// The same from a file already open; `path` only names it in the error text. The fuzzers feed
// it from memory.
int read_image_stream(std::FILE* file, const char* path, MemoryImage& image, std::string& error);

// True when the file can be opened and begins with the ELF magic number.
bool image_file_is_elf(const char* path);

// True when a read-out can be written to path as write_image_file does it: path names a regular
// file or nothing yet, and a file can be made beside it. Otherwise `error` says why.
bool read_out_target_usable(const char* path, std::string& error);

// Writes data that begins at address as Intel HEX or TI-TXT. The file appears under its name
// only when complete: it is written under a unique temporary name beside it first (removed
// should a signal end the run meanwhile) and then renamed. Only a regular file or a new name is
// replaced; another kind of file is refused. When path
// is a symbolic link, the file it points to is written (the temporary one beside it) and the
// link stays. On failure `error` gives the system's reason.
bool write_image_file(const char* path, bool intel_hex, std::uint32_t address, const std::vector<std::uint8_t>& data,
                      std::string& error);
