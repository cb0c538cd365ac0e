#include "fet/listings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/error_text.h"
#include "base/run_settings.h"
#include "fet/fet_library.h"
#include "fet/programming_pass.h"

namespace {

// Two devices share a line: "ID:" and three digits, a blank, and the name padded to 25.
constexpr int NAME_COLUMNS = 25;

// The name comes from the library, so its control bytes are spelled out.
void print_device(fet_int id, const char* library_name) {
    const std::string name = printable_text(library_name);
    const std::size_t length = name.size();
    if (length >= NAME_COLUMNS) {
        // Too long for the column: shown whole rather than cut, with one blank before the next.
        std::printf("ID:%-3d %s ", id, name.c_str());
        return;
    }
    char field[NAME_COLUMNS + 1];
    std::memset(field, ' ', NAME_COLUMNS);
    field[NAME_COLUMNS] = 0;
    std::memcpy(field, name.data(), length);
    std::printf("ID:%-3d %s", id, field);
}

}  // namespace

int list_devices() {
    std::fputs("\nThe devices supported by the driver:\n", stdout);
    // The original generation numbers the types from 1, the current one from 0; either number
    // is shown as the library gives it.
    const fet_int first = fet_generation == FetGeneration::current ? 0 : 1;
    for (fet_int id = first;; ++id) {
        // A failing call is the ordinary end of the list.
        if (fet->MSP430_Device(id, device_record.data(), DEVICE_RECORD_SIZE) != 0) break;
        const std::string name = device_record.name();
        if (name == "End_of_devices") break;
        print_device(id, name.c_str());
        if ((id - first) % 2 == 1) std::fputs("\n", stdout);
    }
    return 0;
}

int list_fet_ports() {
    fet_int count = 0;
    settings.status = static_cast<int>(fet->MSP430_GetNumberOfUsbIfs(&count));
    if (settings.status != 0) {
        report_library_error(2, "Get Nuber of USBIF");
        return 1;
    }
    if (count <= 0) {
        std::fputs("FET Port not Found\n", stdout);
        return 1;
    }
    for (fet_int i = 0; i < count; ++i) {
        char* name = nullptr;
        fet_int in_use = 0;
        settings.status = static_cast<int>(fet->MSP430_GetNameOfUsbIf(i, &name, &in_use));
        if (settings.status != 0) {
            report_library_error(2, "");
            return 1;
        }
        std::printf(i == 0 ? "\nFound: %s -%s\n" : "       %s -%s\n", printable_text(name ? name : "").c_str(),
                    in_use ? "Already Used" : "Free");
    }
    return 0;
}
