// Which bytes may begin a file name given on the command line. Options begin with "-" and
// action words with "+", and the parser refuses those on its own; what else may begin a name
// is the platform's business. On Windows an image name begins with "0" or above (0x30..0x7F,
// so no "/" or "." that could be mistaken for a switch) and an output name with any printable
// character (0x21..0x7F). On POSIX only "-" and "+" mark options and actions, so a name may be
// absolute, relative to "." or "~", and in UTF-8.
#pragma once

enum class FileNameUse { image, read_out };

bool file_name_may_begin_with(unsigned char first, FileNameUse use);
