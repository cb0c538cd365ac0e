#include "chip/sim_errors.h"

namespace {

struct Text {
    int number;
    const char* text;
};

// The library's own wording, for the numbers the simulator reports.
constexpr Text TEXTS[] = {
    {SIM_OK, "No error"},
    {SIM_BAD_ARGUMENT, "Invalid parameter(s)"},
    {SIM_NO_DEVICE, "Could not find device (or device not supported)"},
    {SIM_OUTSIDE_MEMORY, "Could not write device memory"},
    {SIM_VCC_RANGE, "Could not set device Vcc"},
    {SIM_FILE_UNREADABLE, "File open error"},
    {SIM_FILE_FORMAT, "File type could not be identified"},
    {SIM_FILE_UNWRITABLE, "File input/output error"},
    {SIM_VERIFY_FAILED, "Verification error"},
    {SIM_FUSE_BLOWN, "The Debug Interface to the device has been secured"},
    {SIM_NO_ADAPTER, "Could not find MSP-FET430UIF on specified COM port"},
    {SIM_OTHER_DEVICE, "Another device as selected was found"},
    {SIM_NOT_OPEN, "Internal error"},
    {SIM_DATABASE_NOT_LOADED, "Device database not loaded."},
};

}  // namespace

const char* sim_error_text(int number) {
    for (const Text& t : TEXTS)
        if (t.number == number) return t.text;
    return "Invalid error number";
}
