// libFuzzer target: the console key decoder.
#include "fuzz/key_decoder_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_key_decoder(data, size);
    return 0;
}
