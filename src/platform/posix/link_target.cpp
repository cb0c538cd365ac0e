#include "platform/link_target.h"

#include <limits.h>
#include <unistd.h>

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
