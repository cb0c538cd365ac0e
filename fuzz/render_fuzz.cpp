// libFuzzer target: the rendering of received bytes.
#include "fuzz/render_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_render(data, size);
    return 0;
}
