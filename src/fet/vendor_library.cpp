#include "fet/vendor_library.h"

#include <cstring>
#include <string>

#include "fet/elf_as_intel_hex.h"
#include "platform/library_loader.h"

namespace {

constexpr const char* LIBRARY_NAME = "msp430";
// The one error the stand-in table knows: the library could not be used.
constexpr fet_int LOAD_FAILED = 1;

// The library's functions in table order. The table holds nothing but these pointers, in this
// order, so the loader can fill it slot by slot.
constexpr const char* SYMBOLS[] = {
    "MSP430_Initialize",   "MSP430_Configure",    "MSP430_VCC",          "MSP430_GetExtVoltage",
    "MSP430_Identify",     "MSP430_Device",       "MSP430_Erase",        "MSP430_EraseCheck",
    "MSP430_ProgramFile",  "MSP430_VerifyFile",   "MSP430_ReadOutFile",  "MSP430_Secure",
    "MSP430_Reset",        "MSP430_Close",        "MSP430_Error_Number", "MSP430_Error_String",
    "MSP430_GetNumberOfUsbIfs", "MSP430_GetNameOfUsbIf",
};
constexpr std::size_t SYMBOL_COUNT = sizeof SYMBOLS / sizeof SYMBOLS[0];
static_assert(sizeof(FetLibrary) == SYMBOL_COUNT * sizeof(void*), "one table slot per library function");

std::string failure_text;

// Every call of the stand-in fails, whatever its arguments; the error queries give the reason.
template <typename... Arguments>
fet_int FET_CALL refuse(Arguments...) {
    return STATUS_FAILED;
}
fet_int FET_CALL load_failed_number() { return LOAD_FAILED; }
const char* FET_CALL load_failed_text(fet_int) { return failure_text.c_str(); }

constexpr FetLibrary NOT_LOADED = {
    refuse, refuse, refuse, refuse, refuse, refuse, refuse, refuse, refuse, refuse, refuse, refuse,
    refuse, refuse, load_failed_number, load_failed_text, refuse, refuse,
};

struct Loaded {
    FetLibrary table{};
    bool ok = false;
};

Loaded load() {
    Loaded loaded;
    const std::string file = library_file_name(LIBRARY_NAME);
    std::string reason;
    void* library = library_open(file, reason);
    if (library) {
        void* slots[SYMBOL_COUNT];
        for (std::size_t i = 0; i < SYMBOL_COUNT && library; ++i) {
            slots[i] = library_symbol(library, SYMBOLS[i], reason);
            if (!slots[i]) {
                reason = std::string("it lacks ") + SYMBOLS[i] + " (" + reason + ")";
                library_close(library);
                library = nullptr;
            }
        }
        if (library) {
            static_assert(sizeof slots == sizeof loaded.table);
            std::memcpy(&loaded.table, slots, sizeof slots);
            loaded.ok = true;
            return loaded;
        }
    }
    failure_text = "Cannot load the FET library " + file + ": " + reason + ". Put the vendor's " + file +
                   " beside kesto or on the library path, or use -FET SIM for the simulated adapter";
    return loaded;
}

const Loaded& loaded_library() {
    // Loaded once, on first use: a run that only simulates never touches the loader.
    static const Loaded loaded = load();
    return loaded;
}

}  // namespace

const FetLibrary* vendor_library() {
    const Loaded& loaded = loaded_library();
    if (!loaded.ok) return &NOT_LOADED;
    static const FetLibrary* const table = with_elf_as_intel_hex(loaded.table);
    return table;
}

bool vendor_library_loaded() { return loaded_library().ok; }
