// libFuzzer target: the image readers fed ELF files above all (the seeds are linker output), with
// the Intel HEX writer the vendor's library is handed an ELF image through for the read-back.
#include "fuzz/image_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_image_reader(data, size, FuzzImageWriter::intel_hex_of_image);
    return 0;
}
