#include "fet/elf_as_intel_hex.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "base/console.h"
#include "base/error_text.h"
#include "image/image_file.h"
#include "image/intel_hex.h"
#include "platform/temporary_file.h"

namespace {

// The error number that stands for a failed conversion while that failure is the last one.
constexpr fet_int CONVERSION_FAILED = 0x4B45;

FetLibrary underneath{};
FetLibrary table{};
// Why the last conversion failed; cleared by the next file call. A failed step ends the run, so
// no other library call comes between the failure and its report.
std::string conversion_failure;

fet_int failed(std::string why) {
    conversion_failure = std::move(why);
    return STATUS_FAILED;
}

// The Intel HEX made ahead of a pass, kept for every file call of that pass.
struct Prepared {
    std::string file, temporary;
};
Prepared prepared;

// Makes the Intel HEX for an ELF file; empty `temporary` and false with `why` on failure.
bool convert(const char* file, std::string& temporary, std::string& why) {
    MemoryImage image;
    if (read_image_file(file, image, why) != IMAGE_OK) return false;
    std::FILE* hex = create_temporary_file(".hex", temporary, why);
    if (!hex) {
        why = error_text("Cannot make a temporary Intel HEX file from %s: %s", file, why.c_str());
        return false;
    }
    bool written = write_intel_hex(hex, image);
    written = std::fclose(hex) == 0 && written;
    if (written) return true;
    const int reason = errno;
    remove_temporary_file(temporary);
    temporary.clear();
    why = error_text("Cannot write a temporary Intel HEX file from %s: %s", file, std::strerror(reason));
    return false;
}

template <typename Call>
fet_int with_file(const char* file, Call call) {
    conversion_failure.clear();
    if (file && !prepared.temporary.empty() && prepared.file == file) return call(prepared.temporary.c_str());
    if (!file || !image_file_is_elf(file)) return call(file);
    std::string temporary, why;
    if (!convert(file, temporary, why)) return failed(why);
    const fet_int result = call(temporary.c_str());
    remove_temporary_file(temporary);
    return result;
}

fet_int FET_CALL program_file(const char* file, fet_int erase_type, fet_int verify) {
    return with_file(file, [&](const char* name) { return underneath.MSP430_ProgramFile(name, erase_type, verify); });
}

fet_int FET_CALL verify_file(const char* file) {
    return with_file(file, [](const char* name) { return underneath.MSP430_VerifyFile(name); });
}

fet_int FET_CALL error_number() { return conversion_failure.empty() ? underneath.MSP430_Error_Number() : CONVERSION_FAILED; }

const char* FET_CALL error_string(fet_int number) {
    if (number == CONVERSION_FAILED && !conversion_failure.empty()) return conversion_failure.c_str();
    return underneath.MSP430_Error_String(number);
}

}  // namespace

const FetLibrary* with_elf_as_intel_hex(const FetLibrary& library) {
    underneath = library;
    table = library;
    table.MSP430_ProgramFile = program_file;
    table.MSP430_VerifyFile = verify_file;
    table.MSP430_Error_Number = error_number;
    table.MSP430_Error_String = error_string;
    return &table;
}

bool prepare_elf_as_intel_hex(const FetLibrary* library, const char* file, std::string& why) {
    release_elf_as_intel_hex();
    if (library != &table || !image_file_is_elf(file)) return true;
    std::string temporary;
    if (!convert(file, temporary, why)) return false;
    prepared = {file, temporary};
    add_exit_cleanup(release_elf_as_intel_hex);
    return true;
}

void release_elf_as_intel_hex() {
    if (prepared.temporary.empty()) return;
    remove_temporary_file(prepared.temporary);
    prepared = {};
}
