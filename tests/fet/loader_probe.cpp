// Loads the vendor library as kesto does (from the program's own folder first) and reports
// what it found, for the loader's tests: they copy this program into a temporary folder with
// or without a library beside it.
#include <cstdio>

#include "fet/vendor_library.h"

int main() {
    const FetLibrary* library = vendor_library();
    std::printf("loaded: %s\n", vendor_library_loaded() ? "yes" : "no");
    fet_int version = 0;
    if (library->MSP430_Initialize("SIM:F5529", &version) != 0) {
        std::printf("initialize failed: %s\n", library->MSP430_Error_String(library->MSP430_Error_Number()));
        return 1;
    }
    DeviceRecord record{};
    if (library->MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0) != 0) {
        std::printf("identify failed: %s\n", library->MSP430_Error_String(library->MSP430_Error_Number()));
        return 1;
    }
    std::printf("version %ld, device %s\n", version, record.name());
    library->MSP430_Close(0);
    return 0;
}
