// Symbolic links, followed to the file they stand for.
#pragma once

#include <string>

// The path of the file that path names once every symbolic link on the way is followed: path
// itself when it is no link (or does not exist yet), else the last link's target (which need
// not exist either). A relative target counts from the folder of the link that holds it. A
// loop of links gives path itself, and the write then fails as it would have without this.
std::string resolve_link_target(const char* path);
