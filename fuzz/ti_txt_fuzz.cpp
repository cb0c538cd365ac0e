// libFuzzer target: the image readers, with the TI-TXT writer for the read-back.
#include "fuzz/image_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_image_reader(data, size, FuzzImageWriter::ti_txt);
    return 0;
}
