// libFuzzer target: the image readers, with the Intel HEX writer for the read-back.
#include "fuzz/image_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_image_reader(data, size, FuzzImageWriter::intel_hex);
    return 0;
}
