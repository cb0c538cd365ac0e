#include "chip/sim_errors.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr const char* TEXTS[SIM_ERROR_COUNT] = {
    "No error",
    "The simulated adapter is not open",
    "Unknown simulated part",
    "Invalid argument",
    "Vcc out of range",
    "The target has no supply",
    "The security fuse is blown: JTAG access to the target is locked",
    "Address outside the part's memory",
    "Information segment A is locked",
    "Flash memory is not blank",
    "Cannot read the image file",
    "The image file is not valid Intel HEX or TI-TXT",
    "Verification failed",
    "Cannot write the read-out file",
    "No device with this number",
    "No adapter with this number",
};

}  // namespace

const char* sim_error_text(int number) {
    if (number == SIM_DATABASE_NOT_LOADED) return "Device database not loaded";
    if (number < 0 || number >= SIM_ERROR_COUNT) return "Unknown error number";
    return TEXTS[number];
}
