#include "platform/library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

std::string library_file_name(const char* name) { return std::string("lib") + name + ".so"; }

namespace {

// The folder that holds the running executable, ending in '/'; empty when it cannot be known.
std::string executable_folder() {
    // /proc/self/exe names the binary itself, wherever it was started from and whatever argv[0]
    // says.
    std::vector<char> path(4096);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
    std::string folder(path.data(), static_cast<std::size_t>(length));
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return {};
    return folder.substr(0, slash + 1);
}

std::string last_loader_error() {
    const char* text = dlerror();
    return text ? text : "unknown reason";
}

}  // namespace

void* library_open(const std::string& file_name, std::string& reason) {
    std::string beside_reason;
    const std::string folder = executable_folder();
    if (!folder.empty()) {
        const std::string beside = folder + file_name;
        if (void* library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
        if (access(beside.c_str(), F_OK) == 0) beside_reason = last_loader_error();
    }
    // A plain name (no slash) makes dlopen search LD_LIBRARY_PATH, the cache and the default
    // folders.
    if (void* library = dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
    const std::string search_reason = last_loader_error();
    reason = beside_reason.empty() ? search_reason : beside_reason;
    return nullptr;
}

void* library_symbol(void* library, const char* symbol, std::string& reason) {
    dlerror();
    void* address = dlsym(library, symbol);
    if (!address) reason = last_loader_error();
    return address;
}

void library_close(void* library) { dlclose(library); }
