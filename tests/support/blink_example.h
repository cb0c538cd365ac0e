// The example firmware (examples/blink/): as this build made it from its C source when clang
// for the MSP430 was found, else the prebuilt copy kept in the tree.
#pragma once

#include <string>

inline std::string blink_example(const std::string& extension) {
#ifdef KESTO_BLINK_BUILD
    return KESTO_BLINK_BUILD "/blink." + extension;
#else
    return KESTO_SOURCE_DIR "/examples/blink/blink." + extension;
#endif
}
