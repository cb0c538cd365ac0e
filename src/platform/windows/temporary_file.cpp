#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/unique_file.h"

namespace {

unsigned long long counter = 0;

}  // namespace

bool temporary_folder(std::string& folder, std::string& reason) {
    // TMPDIR when it is set, as on Linux; else the system's own (TMP, TEMP, the profile's).
    if (const char* chosen = std::getenv("TMPDIR"); chosen && chosen[0]) {
        folder = std::string(chosen) + "/";
        return true;
    }
    char system_folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof system_folder, system_folder);
    if (length == 0 || length > MAX_PATH) {
        reason = "no temporary folder";
        return false;
    }
    folder = system_folder;
    return true;
}

std::FILE* open_unique_file(char* name, std::size_t suffix_length, bool, std::string& reason) {
    const std::size_t length = std::strlen(name);
    if (length >= MAX_PATH) {
        reason = std::strerror(ENAMETOOLONG);
        return nullptr;
    }
    char* digits = name + length - suffix_length - 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned long long mix =
            (GetTickCount64() * 2654435761u) ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 16) ^ ++counter;
        const std::string six = std::to_string(1000000 + mix % 1000000).substr(1);
        std::memcpy(digits, six.data(), 6);
        int fd = -1;
        // Made new here and now: a name that exists already is tried again with another.
        const errno_t failure =
            _sopen_s(&fd, name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYWR, _S_IREAD | _S_IWRITE);
        if (failure == 0) {
            if (std::FILE* file = _fdopen(fd, "wb")) return file;
            _close(fd);
            DeleteFileA(name);
        }
        if (failure != EEXIST) {
            reason = std::strerror(failure != 0 ? failure : errno);
            return nullptr;
        }
    }
    reason = std::strerror(EEXIST);
    return nullptr;
}

void delete_file_now(const char* path) { DeleteFileA(path); }
