#include "platform/temporary_file.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

// A few at a time are plenty: the program keeps one while a library call reads it.
constexpr int MAX_FILES = 4;

// Fixed storage, so that the signal handler can walk it without allocating. A slot's name is
// complete before `used` is set, and `used` is cleared only after the file is gone.
char names[MAX_FILES][PATH_MAX];
volatile std::sig_atomic_t used[MAX_FILES] = {};

const char* temporary_folder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && folder[0] ? folder : "/tmp";
}

}  // namespace

std::FILE* create_temporary_file(const char* suffix, std::string& path, std::string& reason) {
    int slot = 0;
    while (slot < MAX_FILES && used[slot]) ++slot;
    if (slot == MAX_FILES) {
        reason = "too many temporary files at once";
        return nullptr;
    }
    const std::string pattern = std::string(temporary_folder()) + "/kesto-XXXXXX" + suffix;
    if (pattern.size() >= PATH_MAX) {
        reason = std::strerror(ENAMETOOLONG);
        return nullptr;
    }
    char* name = names[slot];
    std::memcpy(name, pattern.c_str(), pattern.size() + 1);
    // The slot counts before the file exists: mkstemps fills the name in place, so a signal
    // that comes once the file is there finds its true name.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    used[slot] = 1;
    const int fd = mkstemps(name, static_cast<int>(std::strlen(suffix)));
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!file) {
        reason = std::strerror(errno);
        if (fd >= 0) {
            close(fd);
            unlink(name);
        }
        used[slot] = 0;
        return nullptr;
    }
    path = name;
    return file;
}

void remove_temporary_file(const std::string& path) {
    for (int slot = 0; slot < MAX_FILES; ++slot) {
        if (used[slot] && path == names[slot]) {
            unlink(names[slot]);
            used[slot] = 0;
            return;
        }
    }
}

void remove_temporary_files() {
    for (int slot = 0; slot < MAX_FILES; ++slot) {
        if (used[slot]) unlink(names[slot]);
    }
}
