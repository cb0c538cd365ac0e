#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/unique_file.h"

bool temporary_folder(std::string& folder, std::string&) {
    const char* chosen = std::getenv("TMPDIR");
    folder = std::string(chosen && chosen[0] ? chosen : "/tmp") + "/";
    return true;
}

std::FILE* open_unique_file(char* name, std::size_t suffix_length, bool ordinary, std::string& reason) {
    const int fd = mkstemps(name, static_cast<int>(suffix_length));
    if (fd >= 0 && ordinary) {
        const mode_t mask = umask(0);  // one thread: nothing else sees the umask cleared
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (file) return file;
    reason = std::strerror(errno);
    if (fd >= 0) {
        close(fd);
        unlink(name);
    }
    return nullptr;
}

void delete_file_now(const char* path) { unlink(path); }
