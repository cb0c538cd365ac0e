// Loads the vendor library as kesto does (from the program's own folder first) and reports what
// it found; the loader's tests copy it into a temporary folder with or without a library beside.
#include <cstdio>

#include "fet/vendor_library.h"

int main() {
    const FetLibrary* library = vendor_library();
    fet_int version = 0;
    DeviceRecord record{};
    if (library->MSP430_Initialize("SIM:F5529", &version) || library->MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0))
        return std::printf("failed: %s\n", library->MSP430_Error_String(library->MSP430_Error_Number())), 1;
    const char* generation = vendor_library_generation() == FetGeneration::current ? "current" : "original";
    std::printf("%s generation, version %d, device %s\n", generation, version, record.name().c_str());
    return library->MSP430_Close(0) != 0;
}
