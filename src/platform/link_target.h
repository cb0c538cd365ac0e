// Where a written file lands: symbolic links followed to the file they stand for, and the
// finished file put in the place of the old one.
#pragma once

#include <string>

// The path of the file that path names once every symbolic link on the way is followed: path
// itself when it is no link (or does not exist yet), else the last link's target (which need
// not exist either). A relative target counts from the folder of the link that holds it. A
// loop of links gives path itself, and the write then fails as it would have without this.
std::string resolve_link_target(const char* path);

// What a name stands for, links followed: nothing yet, a regular file, or something that a
// finished file must not be renamed over.
enum class FileKind { missing, regular, folder, device, fifo, other };
FileKind file_kind(const char* path);

// Renames from to to, replacing a file of that name (which std::rename does not do on Windows).
// False on failure, with errno set.
bool replace_file(const char* from, const char* to);
