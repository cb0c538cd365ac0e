#include "fet/vendor_library.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "fet/elf_as_intel_hex.h"
#include "platform/library_loader.h"

namespace {

constexpr const char* LIBRARY_NAME = "msp430";
// The one error the stand-in table knows: the library could not be used.
constexpr fet_int LOAD_FAILED = 1;

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
    refuse, refuse, load_failed_number, load_failed_text, refuse, refuse, refuse,
};

// What the current generation has in place of MSP430_Identify, and the calls around it that
// some of its releases need.
struct CurrentGeneration {
    fet_int(FET_CALL* initialize)(const char* port, fet_int* version);
    fet_int(FET_CALL* open_device)(const char* device, const char* password, fet_int password_length,
                                   fet_int device_code, fet_int set_id);
    fet_int(FET_CALL* get_found_device)(std::uint8_t* record, fet_int size);
    fet_int(FET_CALL* load_device_db)(const char* file);  // null when not exported
    fet_int(FET_CALL* device)(fet_int id, char* record, fet_int size);
    fet_int(FET_CALL* error_number)();
    fet_int(FET_CALL* number_of_usb_ifs)(fet_int* count);
    fet_int(FET_CALL* reset)(fet_int method, fet_int execute, fet_int release_jtag);
    bool instance = false;
    bool device_open = false;  // since the last opening of the adapter
    // A failure the library reported as success, with the library's number for it; taken by
    // the next error query.
    fet_int own_error = 0;
};
CurrentGeneration current{};

// The library's number for "Could not find device"; its own text for it is what is shown.
constexpr fet_int NO_DEVICE_ERROR = 4;

// Older releases refuse to open a device until the database built into them is loaded; newer
// ones load it with their instance and refuse a second load as "not loaded". Either way the
// database is there afterwards, so the answer does not count.
fet_int FET_CALL initialize_then_load_database(const char* port, fet_int* version) {
    current.device_open = false;
    const fet_int status = current.initialize(port, version);
    if (status != 0 || !current.load_device_db) return status;
    current.load_device_db(nullptr);
    return status;
}

// "DEVICE_UNKNOWN" without a password finds whatever part is attached; the record it copies out
// is cut to the caller's size. The library hands out a record of zeros, with success, when
// nothing was opened: only a record with its mark describes a device.
fet_int FET_CALL identify_by_opening(char* record, fet_int size, fet_int set_id) {
    fet_int status = current.open_device("DEVICE_UNKNOWN", "", 0, 0, set_id);
    if (status == 0) status = current.get_found_device(reinterpret_cast<std::uint8_t*>(record), size);
    if (status != 0) return status;
    DeviceRecord found{};
    std::memcpy(found.bytes, record, 2);
    current.device_open = found.word(DEV_MARK) == DEVICE_RECORD_MARK;
    if (current.device_open) return 0;
    current.own_error = NO_DEVICE_ERROR;
    return STATUS_FAILED;
}

// This generation resets only a device it has opened; the terminal's reset key opens the
// adapter alone, so the device is opened on the way.
fet_int FET_CALL reset_opened_device(fet_int method, fet_int execute, fet_int release_jtag) {
    if (!current.device_open) {
        unsigned char record[CURRENT_DEVICE_RECORD_SIZE];
        if (const fet_int status = identify_by_opening(reinterpret_cast<char*>(record), sizeof record, 0)) return status;
    }
    return current.reset(method, execute, release_jtag);
}

fet_int FET_CALL error_number_or_own() {
    const fet_int own = current.own_error;
    current.own_error = 0;
    return own != 0 ? own : current.error_number();
}

// The device types answer only once the library's instance exists, which the first look for
// adapters makes (no adapter is needed for it).
fet_int FET_CALL device_after_instance(fet_int id, char* record, fet_int size) {
    if (!current.instance) {
        fet_int count = 0;
        current.number_of_usb_ifs(&count);
        current.instance = true;
    }
    return current.device(id, record, size);
}

struct Loaded {
    FetLibrary table{};
    FetGeneration generation = FetGeneration::builtin;
    bool ok = false;
};

// Looks a function up and stores it in `slot`, typed as the slot is; false when it is missing,
// with `reason` saying so.
template <typename Function>
bool find(void* library, const char* name, Function& slot, std::string& reason) {
    std::string why;
    void* address = library_symbol(library, name, why);
    slot = reinterpret_cast<Function>(address);
    if (!address) reason = std::string("it lacks ") + name + " (" + why + ")";
    return address != nullptr;
}

template <typename Function>
void find_optional(void* library, const char* name, Function& slot) {
    std::string unused;
    slot = reinterpret_cast<Function>(library_symbol(library, name, unused));
}

// The functions both generations export under the same names and arguments.
bool find_common(void* library, FetLibrary& t, std::string& reason) {
    return find(library, "MSP430_Initialize", t.MSP430_Initialize, reason) &&
           find(library, "MSP430_Configure", t.MSP430_Configure, reason) &&
           find(library, "MSP430_VCC", t.MSP430_VCC, reason) &&
           find(library, "MSP430_GetExtVoltage", t.MSP430_GetExtVoltage, reason) &&
           find(library, "MSP430_Device", t.MSP430_Device, reason) &&
           find(library, "MSP430_Erase", t.MSP430_Erase, reason) &&
           find(library, "MSP430_EraseCheck", t.MSP430_EraseCheck, reason) &&
           find(library, "MSP430_ProgramFile", t.MSP430_ProgramFile, reason) &&
           find(library, "MSP430_VerifyFile", t.MSP430_VerifyFile, reason) &&
           find(library, "MSP430_ReadOutFile", t.MSP430_ReadOutFile, reason) &&
           find(library, "MSP430_Secure", t.MSP430_Secure, reason) &&
           find(library, "MSP430_Reset", t.MSP430_Reset, reason) &&
           find(library, "MSP430_Close", t.MSP430_Close, reason) &&
           find(library, "MSP430_Error_Number", t.MSP430_Error_Number, reason) &&
           find(library, "MSP430_Error_String", t.MSP430_Error_String, reason) &&
           find(library, "MSP430_GetNumberOfUsbIfs", t.MSP430_GetNumberOfUsbIfs, reason) &&
           find(library, "MSP430_GetNameOfUsbIf", t.MSP430_GetNameOfUsbIf, reason);
}

// The first releases of the current generation declare every integer as C long, which is 64
// bits where long is: they would write 8 bytes through each 4-byte out-parameter. From the
// release that made them 32 bits on, the library also exports MSP430_HIL_MEMAP, the usual way to
// tell the two apart; none of the old one's functions is called.
bool integers_fit(void* library, std::string& reason) {
    if (sizeof(long) == sizeof(fet_int)) return true;
    void (*memap)() = nullptr;
    find_optional(library, "MSP430_HIL_MEMAP", memap);
    if (memap) return true;
    reason = "it exports MSP430_OpenDevice but not MSP430_HIL_MEMAP, so it is a release before 3.5, whose "
             "integers are C long: 64 bits on this system, where kesto passes 32. Use release 3.5 or later";
    return false;
}

// The generation is told by its exports: MSP430_Identify is the original one's, MSP430_OpenDevice
// with MSP430_GetFoundDevice the current one's.
bool find_generation(void* library, Loaded& loaded, std::string& reason) {
    FetLibrary& t = loaded.table;
    std::string identify_reason;
    if (find(library, "MSP430_Identify", t.MSP430_Identify, identify_reason)) {
        loaded.generation = FetGeneration::original;
        t.MSP430_FET_FwUpdate = nullptr;
        return true;
    }
    if (!find(library, "MSP430_OpenDevice", current.open_device, reason)) {
        reason = "it lacks both MSP430_Identify and MSP430_OpenDevice, one of which every generation of it exports (" +
                 identify_reason.substr(identify_reason.find('(') + 1);
        return false;
    }
    if (!find(library, "MSP430_GetFoundDevice", current.get_found_device, reason)) return false;
    if (!integers_fit(library, reason)) return false;
    find_optional(library, "MSP430_LoadDeviceDb", current.load_device_db);
    find_optional(library, "MSP430_FET_FwUpdate", t.MSP430_FET_FwUpdate);
    current.initialize = t.MSP430_Initialize;
    current.device = t.MSP430_Device;
    current.error_number = t.MSP430_Error_Number;
    current.number_of_usb_ifs = t.MSP430_GetNumberOfUsbIfs;
    current.reset = t.MSP430_Reset;
    t.MSP430_Reset = reset_opened_device;
    t.MSP430_Initialize = initialize_then_load_database;
    t.MSP430_Identify = identify_by_opening;
    t.MSP430_Device = device_after_instance;
    t.MSP430_Error_Number = error_number_or_own;
    loaded.generation = FetGeneration::current;
    return true;
}

Loaded load() {
    Loaded loaded;
    const std::string file = library_file_name(LIBRARY_NAME);
    std::string reason;
    if (void* library = library_open(file, reason)) {
        if (find_common(library, loaded.table, reason) && find_generation(library, loaded, reason)) {
            loaded.ok = true;
            return loaded;
        }
        library_close(library);
    }
    loaded = Loaded{};
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

FetGeneration vendor_library_generation() { return loaded_library().generation; }
