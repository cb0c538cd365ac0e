#include "fet/fet_library.h"

#include "base/ascii_text.h"
#include "fet/vendor_library.h"
#include "sim/sim_library.h"

const FetLibrary* fet = nullptr;
DeviceRecord device_record;

void choose_fet_library(const char* fet_port) {
    if (ascii_starts_with(fet_port, "SIM")) {
        fet = simulator_library();
        return;
    }
    fet = vendor_library();
}

void choose_fet_library_for_listing() {
    fet = vendor_library_loaded() ? vendor_library() : simulator_library();
}
