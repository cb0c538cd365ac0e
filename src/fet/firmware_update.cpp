#include "fet/firmware_update.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/run_settings.h"
#include "fet/fet_library.h"

namespace {

// The percentage is shown in steps of this much at most, however often the library reports.
constexpr std::uint32_t PERCENT_STEP = 10;

struct Progress {
    std::uint32_t last_step = ~0u;
    std::uint32_t shown_percent = 0;
};
Progress progress;

const char* step_text(std::uint32_t message) {
    switch (message) {
        case FIRMWARE_INIT: return "starting";
        case FIRMWARE_ERASING_VECTORS: return "erasing the interrupt vectors";
        case FIRMWARE_ERASING: return "erasing the firmware";
        case FIRMWARE_PROGRAMMING: return "programming";
        case FIRMWARE_EXITING: return "restarting the adapter";
        case FIRMWARE_DONE: return "done";
        case FIRMWARE_ERROR: return "the adapter reported an error";
        case FIRMWARE_WAITING: return "waiting for the adapter";
        default: return nullptr;
    }
}

// A step is shown once however often the library repeats it between its blocks; the blocks only
// when they have come another step of the percentage further.
void FET_CALLBACK report(std::uint32_t message, std::uint32_t w_param, std::uint32_t /*l_param*/, fet_int /*handle*/) {
    if (message == FIRMWARE_BLOCK_DONE) {
        const std::uint32_t percent = std::min(w_param, std::uint32_t{100});
        if (percent < progress.shown_percent + PERCENT_STEP) return;
        progress.shown_percent = percent;
        std::printf("Firmware update: %u%%\n", static_cast<unsigned>(percent));
    } else {
        if (message == progress.last_step) return;
        progress.last_step = message;
        if (const char* text = step_text(message))
            std::printf("Firmware update: %s\n", text);
        else
            std::printf("Firmware update: step %u\n", static_cast<unsigned>(message));
    }
    // Each line stands on the screen while the update goes on.
    std::fflush(stdout);
}

}  // namespace

int update_fet_firmware() {
    if (!fet->MSP430_FET_FwUpdate) {
        std::fputs("This FET library cannot update the adapter's firmware (it has no MSP430_FET_FwUpdate); "
                   "-update needs the library's current generation\n",
                   stdout);
        return FIRMWARE_NO_UPDATE_CALL;
    }
    progress = Progress{};
    settings.status = fet->MSP430_FET_FwUpdate(nullptr, report, 0);
    return settings.status == 0 ? FIRMWARE_UPDATED : FIRMWARE_UPDATE_FAILED;
}

void print_firmware_update_hint() {
    std::fputs("Run again with -update to update the adapter's firmware to the library's; an update that fails "
               "midway can leave the adapter unusable until it is recovered\n",
               stdout);
}
