#include "fet/firmware_update.h"

#include <cstdint>
#include <cstdio>

#include "fet/fet_library.h"
#include "base/run_settings.h"

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

void show(const char* format, std::uint32_t value) {
    std::printf(format, static_cast<unsigned>(value));
    std::fflush(stdout);
}

// A step is shown once however often the library repeats it between its blocks; the blocks only
// when they have come another step of the percentage further.
void FET_CALL report(std::uint32_t message, std::uint32_t w_param, std::uint32_t /*l_param*/, fet_int /*handle*/) {
    if (message == FIRMWARE_BLOCK_DONE) {
        const std::uint32_t percent = w_param > 100 ? 100 : w_param;
        if (percent >= progress.shown_percent + PERCENT_STEP) {
            progress.shown_percent = percent;
            show("Firmware update: %u%%\n", percent);
        }
        return;
    }
    if (message == progress.last_step) return;
    progress.last_step = message;
    if (const char* text = step_text(message)) {
        std::printf("Firmware update: %s\n", text);
        std::fflush(stdout);
    } else {
        show("Firmware update: step %u\n", message);
    }
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
