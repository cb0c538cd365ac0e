#include "platform/temporary_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A few at a time are plenty: the program keeps one while a library call reads it.
constexpr int MAX_FILES = 4;

// Fixed storage, so that the console's stop handler can walk it without allocating. A slot's
// name is complete before `used` is set, and `used` is cleared only after the file is gone.
char names[MAX_FILES][MAX_PATH];
std::atomic<bool> used[MAX_FILES] = {};
unsigned long long counter = 0;

}  // namespace

std::FILE* create_temporary_file(const char* suffix, std::string& path, std::string& reason) {
    int slot = 0;
    while (slot < MAX_FILES && used[slot]) ++slot;
    if (slot == MAX_FILES) {
        reason = "too many temporary files at once";
        return nullptr;
    }
    // TMPDIR when it is set, as on Linux; else the system's own (TMP, TEMP, the profile's).
    std::string folder;
    if (const char* chosen = std::getenv("TMPDIR"); chosen && chosen[0]) {
        folder = std::string(chosen) + "/";
    } else {
        char system_folder[MAX_PATH + 1];
        const DWORD length = GetTempPathA(sizeof system_folder, system_folder);
        if (length == 0 || length > MAX_PATH) {
            reason = "no temporary folder";
            return nullptr;
        }
        folder = system_folder;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned long long mix =
            (GetTickCount64() * 2654435761u) ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 16) ^ ++counter;
        const std::string name = folder + "kesto-" + std::to_string(mix % 1000000000u) + suffix;
        if (name.size() >= MAX_PATH) {
            reason = std::strerror(ENAMETOOLONG);
            return nullptr;
        }
        std::memcpy(names[slot], name.c_str(), name.size() + 1);
        used[slot] = true;
        int fd = -1;
        // Made new here and now: a name that exists already is tried again with another.
        const errno_t failure = _sopen_s(&fd, names[slot], _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                         _SH_DENYWR, _S_IREAD | _S_IWRITE);
        if (failure == 0) {
            if (std::FILE* file = _fdopen(fd, "wb")) {
                path = names[slot];
                return file;
            }
            _close(fd);
            DeleteFileA(names[slot]);
        }
        used[slot] = false;
        if (failure != EEXIST) {
            reason = std::strerror(failure != 0 ? failure : errno);
            return nullptr;
        }
    }
    reason = std::strerror(EEXIST);
    return nullptr;
}

void remove_temporary_file(const std::string& path) {
    for (int slot = 0; slot < MAX_FILES; ++slot) {
        if (used[slot] && path == names[slot]) {
            DeleteFileA(names[slot]);
            used[slot] = false;
            return;
        }
    }
}

void remove_temporary_files() {
    for (int slot = 0; slot < MAX_FILES; ++slot)
        if (used[slot]) DeleteFileA(names[slot]);
}
