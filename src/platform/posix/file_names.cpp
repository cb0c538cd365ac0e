#include "platform/file_names.h"

// The blank and the control characters stay out: an empty or blank argument is no name.
bool file_name_may_begin_with(unsigned char first, FileNameUse) { return first > 0x20; }
