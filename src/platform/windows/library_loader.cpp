#include "platform/library_loader.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/system_error.h"

std::string library_file_name(const char* name) {
    std::string file(name);
    for (char& c : file)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return file + ".dll";
}

namespace {

// The folder that holds the running program, ending in '\'; empty when it cannot be known.
std::string executable_folder() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            std::string folder(path.data(), length);
            const std::size_t slash = folder.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The processor a program file was built for, from its PE header; 0 when it cannot be read.
unsigned machine_of(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    unsigned char dos[64] = {};
    unsigned char pe[6] = {};
    unsigned machine = 0;
    if (std::fread(dos, 1, sizeof dos, file) == sizeof dos && dos[0] == 'M' && dos[1] == 'Z') {
        const long offset = dos[60] | dos[61] << 8 | dos[62] << 16 | static_cast<long>(dos[63]) << 24;
        if (std::fseek(file, offset, SEEK_SET) == 0 && std::fread(pe, 1, sizeof pe, file) == sizeof pe &&
            pe[0] == 'P' && pe[1] == 'E' && pe[2] == 0 && pe[3] == 0)
            machine = pe[4] | pe[5] << 8;
    }
    std::fclose(file);
    return machine;
}

const char* bits_of(unsigned machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_I386: return "32-bit";
        case IMAGE_FILE_MACHINE_AMD64: return "64-bit";
        default: return nullptr;
    }
}

#if defined(_WIN64)
constexpr const char* OWN_BITS = "64-bit";
constexpr const char* OTHER_BUILD = "kesto32.exe, the 32-bit build";
#else
constexpr const char* OWN_BITS = "32-bit";
constexpr const char* OTHER_BUILD = "kesto.exe, the 64-bit build";
#endif

// What went wrong, for the operator: the two errors everyone meets in their own words.
std::string describe(const std::string& path, bool found, DWORD error) {
    const std::string code = " (error " + std::to_string(error) + ")";
    if (error == ERROR_MOD_NOT_FOUND && found) return "a library that " + path + " needs was not found" + code;
    if (error == ERROR_MOD_NOT_FOUND) return "it was found neither beside kesto.exe nor on the search path" + code;
    if (error == ERROR_BAD_EXE_FORMAT) {
        const char* bits = found ? bits_of(machine_of(path)) : nullptr;
        if (bits && std::string(bits) != OWN_BITS)
            return path + " is a " + bits + " library and this kesto.exe is " + OWN_BITS + code + "; use " +
                   OTHER_BUILD;
        return path + " is not a library for this kesto.exe" + code;
    }
    return path + ": " + system_error_text(static_cast<long>(error)) + code;
}

// Loading must not stop the program with a message box of its own.
struct QuietErrors {
    DWORD saved = 0;
    QuietErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &saved); }
    ~QuietErrors() { SetThreadErrorMode(saved, nullptr); }
};

}  // namespace

void* library_open(const std::string& file_name, std::string& reason) {
    const QuietErrors quiet;
    std::string beside_reason;
    const std::string folder = executable_folder();
    const std::string beside = folder + file_name;
    if (!folder.empty() && exists(beside)) {
        // Its own folder first for what it loads in turn: the vendor's library comes with
        // others beside it.
        if (HMODULE library = LoadLibraryExA(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
            return reinterpret_cast<void*>(library);
        beside_reason = describe(beside, true, GetLastError());
    }
    if (HMODULE library = LoadLibraryA(file_name.c_str())) return reinterpret_cast<void*>(library);
    // The copy beside the program is the one meant; its reason beats the search's.
    reason = beside_reason.empty() ? describe(file_name, false, GetLastError()) : beside_reason;
    return nullptr;
}

void* library_symbol(void* library, const char* symbol, std::string& reason) {
    const FARPROC address = GetProcAddress(static_cast<HMODULE>(library), symbol);
    if (!address) {
        const DWORD error = GetLastError();
        reason = system_error_text(static_cast<long>(error)) + " (error " + std::to_string(error) + ")";
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

void library_close(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
