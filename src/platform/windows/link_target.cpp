#include "platform/link_target.h"

#include <sys/stat.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>

// Windows programs meet no symbolic links in practice (making one needs rights that few
// accounts have), so a name stands for itself.
std::string resolve_link_target(const char* path) { return path; }

bool replace_file(const char* from, const char* to) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return true;
    // The caller words the failure with strerror.
    switch (GetLastError()) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        default:
            errno = EIO;
    }
    return false;
}

namespace {

// The names Windows keeps for its devices in every folder (NUL, CON, COM1, nul.txt...), and
// device paths ("\\.\COM12"): the C library's stat does not always tell them from files.
bool device_name(const char* path) {
    if (std::strncmp(path, "\\\\.\\", 4) == 0) return true;
    const char* base = path;
    for (const char* at = path; *at; ++at)
        if (*at == '/' || *at == '\\' || *at == ':') base = at + 1;
    std::string stem(base, std::strcspn(base, "."));
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

FileKind file_kind(const char* path) {
    if (device_name(path)) return FileKind::device;
    struct _stat64 status {};
    if (_stat64(path, &status) != 0) return FileKind::missing;
    switch (status.st_mode & _S_IFMT) {
        case _S_IFREG: return FileKind::regular;
        case _S_IFDIR: return FileKind::folder;
        case _S_IFCHR: return FileKind::device;  // NUL, CON, COM ports
        case _S_IFIFO: return FileKind::fifo;
        default: return FileKind::other;
    }
}
