#include "platform/file_names.h"

// As Windows programs have always had it: an image name begins with a digit, a letter or a
// drive or folder name (0x30..0x7F), so that "/x" and ".x" stay switches; an output name with
// any printable character.
bool file_name_may_begin_with(unsigned char first, FileNameUse use) {
    if (use == FileNameUse::image) return first >= 0x30 && first <= 0x7F;
    return first >= 0x21 && first <= 0x7F;
}
