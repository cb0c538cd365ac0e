// The vendor's library reads Intel HEX and TI-TXT images only. Put in front of it, this table
// hands it an ELF image as a temporary Intel HEX file made from the same image, in the system's
// temporary folder and removed again after the call (and by the signal handler, should the
// process be ended meanwhile). Other files reach the library under their own names.
#pragma once

#include <string>

#include "base/fet_interface.h"

// A table that calls `library` for everything, with MSP430_ProgramFile and MSP430_VerifyFile
// converting an ELF image first. When the conversion fails, the call fails and the error
// queries tell why, naming the operator's file. There is one such table: a second call
// replaces the library behind the first.
const FetLibrary* with_elf_as_intel_hex(const FetLibrary& library);

// Makes the Intel HEX for file now, when `library` is that table and file is an ELF image, so
// that a full or missing temporary folder ends a pass before anything is erased. The file calls
// then use it until release_elf_as_intel_hex (or the end of the run) removes it. False with
// `why` when it cannot be made.
bool prepare_elf_as_intel_hex(const FetLibrary* library, const char* file, std::string& why);
void release_elf_as_intel_hex();
