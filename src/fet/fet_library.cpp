#include "fet/fet_library.h"

#include "base/ascii_text.h"
#include "fet/vendor_library.h"
#include "sim/sim_library.h"

const FetLibrary* fet = nullptr;
FetGeneration fet_generation = FetGeneration::builtin;
DeviceRecord device_record;

namespace {

void use_simulator() {
    fet = simulator_library();
    fet_generation = FetGeneration::builtin;
}

void use_vendor_library() {
    fet = vendor_library();
    fet_generation = vendor_library_generation();
}

}  // namespace

void choose_fet_library(const char* fet_port) {
    if (ascii_starts_with(fet_port, "SIM")) {
        use_simulator();
        return;
    }
    use_vendor_library();
}

void choose_fet_library_for_listing() {
    if (vendor_library_loaded()) {
        use_vendor_library();
    } else {
        use_simulator();
    }
}
