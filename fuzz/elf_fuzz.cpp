// libFuzzer target: the image readers fed ELF files (the seeds are linker output).
#include "fuzz/image_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_image_reader(data, size, FuzzImageWriter::intel_hex_of_image);
    return 0;
}
