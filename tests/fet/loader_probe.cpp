// Loads the vendor library as kesto does; the loader's tests copy it into a temporary folder
// with or without a library beside.
#include <cstdio>

#include "fet/vendor_library.h"

int main(int argc, char** argv) {
    const FetLibrary* library = vendor_library();
    fet_int version = 0;
    DeviceRecord record{};
    if (library->MSP430_Initialize(argc > 1 ? argv[1] : "SIM:F5529", &version) ||
        library->MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0)) {
        std::printf("failed: %s\n", library->MSP430_Error_String(library->MSP430_Error_Number()));
        if (argc > 1) std::printf("then: %d\n", static_cast<int>(library->MSP430_Error_Number()));
        return 1;
    }
    const char* generation = vendor_library_generation() == FetGeneration::current ? "current" : "original";
    std::printf("%s generation, version %d, device %s\n", generation, version, record.name().c_str());
    return library->MSP430_Close(0) != 0;
}
