#include "fet/elf_as_intel_hex.h"

#include <cerrno>
#include <cstring>
#include <string>

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

template <typename Call>
fet_int with_file(const char* file, Call call) {
    conversion_failure.clear();
    if (!file || !image_file_is_elf(file)) return call(file);
    MemoryImage image;
    std::string why;
    if (read_image_file(file, image, why) != IMAGE_OK) return failed(why);
    std::string temporary;
    std::FILE* hex = create_temporary_file(".hex", temporary, why);
    if (!hex) return failed(error_text("Cannot make a temporary Intel HEX file from %s: %s", file, why.c_str()));
    bool written = write_intel_hex(hex, image);
    written = std::fclose(hex) == 0 && written;
    if (!written) {
        const int reason = errno;
        remove_temporary_file(temporary);
        return failed(error_text("Cannot write a temporary Intel HEX file from %s: %s", file, std::strerror(reason)));
    }
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
