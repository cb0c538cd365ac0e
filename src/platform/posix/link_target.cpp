#include "platform/link_target.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

// As many as the kernel itself follows before it gives up with ELOOP.
constexpr int MAX_LINKS = 40;

}  // namespace

std::string resolve_link_target(const char* path) {
    std::string current = path;
    for (int i = 0; i < MAX_LINKS; ++i) {
        char target[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), target, sizeof target);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof target) return current;  // no link: done
        std::string next(target, static_cast<std::size_t>(length));
        if (next.front() != '/') {
            const std::size_t slash = current.rfind('/');
            if (slash != std::string::npos) next = current.substr(0, slash + 1) + next;
        }
        current = next;
    }
    return path;
}

bool replace_file(const char* from, const char* to) { return std::rename(from, to) == 0; }

FileKind file_kind(const char* path) {
    struct stat status {};
    if (stat(path, &status) != 0) return FileKind::missing;  // or unreachable: the write then says why
    if (S_ISREG(status.st_mode)) return FileKind::regular;
    if (S_ISDIR(status.st_mode)) return FileKind::folder;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return FileKind::device;
    if (S_ISFIFO(status.st_mode)) return FileKind::fifo;
    return FileKind::other;
}
