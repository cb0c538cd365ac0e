// The vendor's library reads Intel HEX and TI-TXT images only. Put in front of it, this table
// hands it an ELF image as a temporary Intel HEX file made from the same image, in the system's
// temporary folder and removed again after the call (and by the signal handler, should the
// process be ended meanwhile). Other files reach the library under their own names.
#pragma once

#include "base/fet_interface.h"

// A table that calls `library` for everything, with MSP430_ProgramFile and MSP430_VerifyFile
// converting an ELF image first. When the conversion fails, the call fails and the error
// queries tell why, naming the operator's file. There is one such table: a second call
// replaces the library behind the first.
const FetLibrary* with_elf_as_intel_hex(const FetLibrary& library);
