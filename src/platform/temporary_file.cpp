#include "platform/temporary_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/unique_file.h"

namespace {

// A few at a time are plenty: the program keeps one while a library call reads it, and one
// while a read-out is written.
constexpr int MAX_FILES = 4;
constexpr std::size_t NAME_SIZE = 4096;

// Fixed storage, so that a signal handler (or the console's stop handler, on a thread of its
// own on Windows) can walk it without allocating. `used` is set before the system fills the
// name in place, so a stop once the file is there finds its true name; it is cleared only
// after the file is gone or has been renamed into its place.
char names[MAX_FILES][NAME_SIZE];
std::atomic<bool> used[MAX_FILES] = {};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop handlers read the slots");

int slot_of(const std::string& path) {
    for (int slot = 0; slot < MAX_FILES; ++slot)
        if (used[slot] && path == names[slot]) return slot;
    return -1;
}

std::FILE* create_in_slot(const std::string& start, const char* suffix, bool ordinary, std::string& path,
                          std::string& reason) {
    int slot = 0;
    while (slot < MAX_FILES && used[slot]) ++slot;
    if (slot == MAX_FILES) {
        reason = "too many temporary files at once";
        return nullptr;
    }
    const std::string pattern = start + "XXXXXX" + suffix;
    if (pattern.size() >= NAME_SIZE) {
        reason = std::strerror(ENAMETOOLONG);
        return nullptr;
    }
    std::memcpy(names[slot], pattern.c_str(), pattern.size() + 1);
    used[slot] = true;
    std::FILE* file = open_unique_file(names[slot], std::strlen(suffix), ordinary, reason);
    if (!file) {
        used[slot] = false;
        return nullptr;
    }
    path = names[slot];
    return file;
}

}  // namespace

std::FILE* create_temporary_file(const char* suffix, std::string& path, std::string& reason) {
    std::string folder;
    if (!temporary_folder(folder, reason)) return nullptr;
    return create_in_slot(folder + "kesto-", suffix, false, path, reason);
}

std::FILE* create_file_beside(const std::string& target, std::string& path, std::string& reason) {
    return create_in_slot(target + ".", "", true, path, reason);
}

void keep_temporary_file(const std::string& path) {
    if (const int slot = slot_of(path); slot >= 0) used[slot] = false;
}

void remove_temporary_file(const std::string& path) {
    if (const int slot = slot_of(path); slot >= 0) {
        delete_file_now(names[slot]);
        used[slot] = false;
    }
}

void remove_temporary_files() {
    for (int slot = 0; slot < MAX_FILES; ++slot)
        if (used[slot]) delete_file_now(names[slot]);
}
