#include "fet/programming_pass.h"

#include <cstdint>
#include <cstdio>

#include "base/console.h"
#include "base/error_text.h"
#include "base/run_settings.h"
#include "fet/elf_as_intel_hex.h"
#include "fet/fet_library.h"
#include "fet/firmware_update.h"
#include "fet/segment_a.h"
#include "image/image_file.h"

namespace {

// Every library status goes into settings.status before it is tested.
bool failed(int& field, fet_int result) {
    field = result;
    return result != 0;
}

bool failed(fet_int result) { return failed(settings.status, result); }

bool flag(std::uint32_t bit) { return (settings.flags & bit) != 0; }

// A short step: the title at level 3, the call, then " -OK" or the library's error and the end
// of the run. Each step names its call beside its title, so the pass below reads as a list.
template <typename Call>
void step(const char* title, int report_level, Call call) {
    print_at_level(3, "%s", title);
    if (failed(call())) {
        report_library_error(report_level, title);
        exit_program(1);
    }
    print_at_level(3, " -OK\n");
}

// Verification, programming, read-out and the fuse take long and always show their title. The
// status goes into `field`: settings.status, or settings.fuse_status for the fuse.
template <typename Call>
void long_step(const char* title, Call call, int& field = settings.status) {
    print_plain("%s", title);
    if (failed(field, call())) {
        report_library_error(2, "");
        exit_program(1);
    }
    print_plain(" -OK\n");
}

std::uint32_t flash_start() { return device_record.word(DEV_FLASH_START); }

// Flash end is the 32-bit field, so the length counts the whole range of a large device.
std::uint32_t flash_length() { return device_record.dword(DEV_FLASH_END) - flash_start() + 1; }

void check_external_supply() {
    fet_int millivolts = 0;
    fet_int state = 0;
    if (failed(fet->MSP430_GetExtVoltage(&millivolts, &state))) {
        report_library_error(2, "Check External Vcc");
        exit_program(1);
    }
    const std::string volts = volts_text(millivolts);
    const char* v = volts.c_str();
    switch (state) {
        case EXT_VCC_NONE: print_plain("No External power was detected\n"); break;
        case EXT_VCC_LOW: print_plain("External power too LOW: %sV\n", v); break;
        case EXT_VCC_GOOD: print_plain("External power Good: %sV\n", v); break;
        case EXT_VCC_HIGH: print_plain("External power too HIGH: %sV\n", v); break;
        default: print_plain("External power: Unknown error\n"); break;
    }
}

void supply_target() {
    step("Set Vcc", 3, [] { return fet->MSP430_VCC(settings.vcc_mv); });
    if (flag(FLAG_INFO)) {
        print_plain(" Device Vcc: %sV\n", volts_text(settings.vcc_mv).c_str());
    }
}

void identify_device() {
    if (failed(fet->MSP430_Identify(device_record.data(), DEVICE_RECORD_SIZE, 0))) {
        print_at_level(1, "Device Not Found/");
        report_library_error(1, "");
        exit_program(1);
    }
    if (flag(FLAG_INFO)) {
        print_device_report();
    } else {
        print_at_level(1, "Identifed: %s ID:%d\n", printable_text(device_record.name()).c_str(),
                       static_cast<int>(device_record.word(DEV_ID)));
    }
}

// Three 64-byte segments from Info start, then the 128-byte segment A at the top only when it
// was asked for: segment A holds the factory DCO calibration.
void erase_info_memory() {
    print_at_level(3, "%s", "Erase Info Memory");
    const std::uint32_t a = device_record.word(DEV_INFO_START);
    struct Segment {
        std::uint32_t address;
        fet_int length;
    };
    const Segment segments[] = {{a, 64}, {a + 64, 64}, {a + 128, 64}, {a + 192, 128}};
    const int count = flag(FLAG_ERASE_INFO_A) ? 4 : 3;
    for (int i = 0; i < count; ++i) {
        if (failed(fet->MSP430_Erase(ERASE_SEGMENT, segments[i].address, segments[i].length))) {
            print_plain("Block:%04X", static_cast<unsigned>(segments[i].address));
            report_library_error(2, "Erase Info Memory");
            exit_program(1);
        }
    }
    if (!flag(FLAG_ERASE_INFO_A)) print_at_level(3, " (Exclude'A')");
    print_at_level(3, " -OK\n");
}

// The image is read whole with the program's own readers before the first library call, and
// checked against the identified part before the first erase: a missing, broken or misfit
// file then ends the run with the chip as it was. The library still reads the file itself.
bool pass_uses_image() { return (flag(FLAG_PROGRAM) || flag(FLAG_VERIFY)) && !flag(FLAG_DETECT_ONLY); }

void read_program_image(MemoryImage& image) {
    if (settings.program_file.empty()) {
        print_plain("No image file was named: give one after the action letters, as in +p app.hex\n");
        exit_program(1);
    }
    std::string error;
    if (read_image_file(settings.program_file.c_str(), image, error) != IMAGE_OK) {
        print_plain("%s\n", printable_text(error).c_str());
        exit_program(1);
    }
}

// The files the library is handed are made sure of before anything on the chip changes: the
// Intel HEX an ELF image becomes, and a place for the read-out.
void prepare_files() {
    std::string why;
    const bool ready =
        (!pass_uses_image() || prepare_elf_as_intel_hex(fet, settings.program_file.c_str(), why)) &&
        (!flag(FLAG_READ_OUT) || flag(FLAG_DETECT_ONLY) || read_out_target_usable(settings.read_out_file.c_str(), why));
    if (ready) return;
    print_plain("%s\n", printable_text(why).c_str());
    exit_program(1);
}

// Every byte must lie in the part's flash or information memory, as the device record gives them.
void check_image_fits(const MemoryImage& image) {
    const std::uint32_t flash_end = device_record.dword(DEV_FLASH_END);
    const std::uint32_t info_start = device_record.word(DEV_INFO_START), info_end = device_record.word(DEV_INFO_END);
    for (std::uint32_t at = image.lowest(); !image.empty() && at <= image.highest(); ++at) {
        if (!image.has(at)) continue;
        if ((at >= flash_start() && at <= flash_end) || (at >= info_start && at <= info_end)) continue;
        print_plain("%s: the image has data at 0x%04X, outside the flash (%04X..%04X) and the information memory "
                    "(%04X..%04X) of %s\n",
                    printable_text(settings.program_file).c_str(), static_cast<unsigned>(at),
                    static_cast<unsigned>(flash_start()), static_cast<unsigned>(flash_end),
                    static_cast<unsigned>(info_start), static_cast<unsigned>(info_end),
                    printable_text(device_record.name()).c_str());
        exit_program(1);
    }
}

// The pass unlocks segment A only for +i and +x; a locked segment takes no byte, and finding that
// out in the programming step would come after the erase.
void check_segment_a(const MemoryImage& image) {
    AddressRange a;
    if (flag(FLAG_UNLOCK_INFO) || flag(FLAG_ERASE_INFO) || !lockable_segment_a(device_record, a)) return;
    for (std::uint32_t at = a.first; at <= a.last; ++at) {
        if (!image.has(at)) continue;
        print_plain("%s: the image has data at 0x%04X in information segment A, which is locked; +i unlocks it "
                    "(so does +x, which with -ia also erases it)\n",
                    printable_text(settings.program_file).c_str(), static_cast<unsigned>(at));
        exit_program(1);
    }
}

// On the trace, which of the vendor library's generations answers: the two find the device
// differently.
void print_generation(int level) {
    if (fet_generation == FetGeneration::original)
        print_at_level(level, "FET library: original generation (MSP430_Identify)\n");
    else if (fet_generation == FetGeneration::current)
        print_at_level(level, "FET library: current generation (MSP430_OpenDevice)\n");
}

void program_device() {
    const bool verify = flag(FLAG_VERIFY);
    long_step(verify ? "Programm & Verify...wait..." : "Programming...wait...", [verify] {
        return fet->MSP430_ProgramFile(settings.program_file.c_str(), ERASE_MAIN, verify ? 1 : 0);
    });
}

}  // namespace

void report_library_error(int level, const char* title) {
    const fet_int number = fet->MSP430_Error_Number();
    const char* text = fet->MSP430_Error_String(number);
    const std::string shown = printable_text(text ? text : "");
    if (settings.print_level > level) {
        print_plain(" -%s\n", shown.c_str());
    } else {
        print_plain("%s -%s\n", title, shown.c_str());
    }
}

int init_fet(int level) {
    const int l = level < 3 ? 3 : level;
    print_generation(l);
    print_at_level(l, "%s", "Initializing FET");
    fet_int version = 0;
    if (failed(fet->MSP430_Initialize(settings.fet_port, &version))) {
        report_library_error(l, "Initializing FET");
        return 1;
    }
    settings.dll_version = static_cast<int>(version);
    print_at_level(l, " -OK. DLL Version:%d\n", settings.dll_version);
    if (settings.dll_version < 0) {
        print_plain("Version conflict between the DLL and USB FET Firmware\n");
        const int update = settings.update_firmware ? update_fet_firmware() : FIRMWARE_NO_UPDATE_CALL;
        if (update == FIRMWARE_UPDATE_FAILED) {
            report_library_error(2, "Firmware update");
            return 4;
        }
        if (update != FIRMWARE_UPDATED && flag(FLAG_DLL_CHECK)) {
            if (!settings.update_firmware) print_firmware_update_hint();
            return 2;
        }
    }
    if (settings.interface_mode < 0) return 0;
    print_at_level(l, "%s", "Configure Inteface Mode");
    if (failed(fet->MSP430_Configure(CONFIGURE_INTERFACE, settings.interface_mode))) {
        report_library_error(2, "Configure Inteface Mode");
        return 3;
    }
    print_at_level(l, " -OK\n");
    return 0;
}

int reset_device(int level) {
    print_at_level(level, "%s", "Reset/Start device");
    // After the fuse is blown the target no longer answers over JTAG, so a failing reset is
    // then expected and counts as done.
    if (failed(fet->MSP430_Reset(settings.reset_method, 1, 0)) && settings.fuse_status != 0) {
        report_library_error(2, "Reset/Start device");
        return 1;
    }
    print_at_level(level, " -OK\n");
    return 0;
}

void print_device_report() {
    const DeviceRecord& d = device_record;
    // 16-bit fields widen without sign; the differences are then taken as signed 32-bit values.
    auto size = [&](int start, int end) {
        return static_cast<std::int32_t>(d.word(end) - d.word(start) + 1);
    };
    auto hex = [](std::uint32_t value) { return static_cast<unsigned>(value); };

    print_plain("     Device: %s ID:%d\n", printable_text(device_record.name()).c_str(),
                static_cast<int>(d.word(DEV_ID)));
    const std::uint32_t flash_end = d.dword(DEV_FLASH_END);
    print_plain("      Flash: %dK \t(%04X..%04X)\n", static_cast<int>((flash_end - flash_start() + 1) >> 10),
                hex(flash_start()), hex(flash_end));
    print_plain("       Info: %dB \t(%04X..%04X)\n", size(DEV_INFO_START, DEV_INFO_END),
                hex(d.word(DEV_INFO_START)), hex(d.word(DEV_INFO_END)));
    print_plain("        RAM: %dK \t(%04X..%04X)\n", size(DEV_RAM_START, DEV_RAM_END) / 1024,
                hex(d.word(DEV_RAM_START)), hex(d.word(DEV_RAM_END)));
    if (d.word(DEV_BSL_END) != d.word(DEV_BSL_START)) {
        print_plain("        BSL: %dK \t(%04X..%04X)\n", size(DEV_BSL_START, DEV_BSL_END) / 1024,
                    hex(d.word(DEV_BSL_START)), hex(d.word(DEV_BSL_END)));
    }
    if (d.word(DEV_EXT_RAM_END) == d.word(DEV_EXT_RAM_START)) {
        print_plain("    Ext RAM: None\n");
    } else {
        print_plain("    Ext RAM: %dK \t(%04X..%04X)\n", size(DEV_EXT_RAM_START, DEV_EXT_RAM_END) / 1024,
                    hex(d.word(DEV_EXT_RAM_START)), hex(d.word(DEV_EXT_RAM_END)));
    }
    print_plain("Breakpoints: %d\n", static_cast<int>(d.word(DEV_BREAKPOINTS)));
    print_plain("  Emulation: %d\n", static_cast<int>(d.word(DEV_EMULATION)));
    print_plain("CLK Control: %d\n", static_cast<int>(d.word(DEV_CLK_CONTROL)));
    if (d.word(DEV_LCD_START) == 0) {
        print_plain("        LCD: None\n");
    } else {
        print_plain("        LCD: %04X..%04X\n", hex(d.word(DEV_LCD_START)), hex(d.word(DEV_LCD_END)));
    }
    print_plain("        Vcc: %sV...%sV\n", volts_text(d.word(DEV_VCC_MIN)).c_str(),
                volts_text(d.word(DEV_VCC_MAX)).c_str());
    print_plain("   Test Vpp: %d\n\n", static_cast<int>(d.word(DEV_TEST_VPP)));
}

void programming_pass() {
    set_title("-Programming");
    MemoryImage image;
    if (pass_uses_image()) read_program_image(image);
    prepare_files();
    if (init_fet(2) != 0) exit_program(1);

    if (flag(FLAG_EXT_VCC)) {
        check_external_supply();
    } else {
        supply_target();
    }
    identify_device();
    if (flag(FLAG_DETECT_ONLY)) exit_program(EXIT_DONE);  // the library stays open
    if (pass_uses_image()) {
        check_image_fits(image);
        check_segment_a(image);
    }

    // A file verified alone is compared before anything in this pass erases the flash.
    if (flag(FLAG_VERIFY)) {
        // The current generation refuses the mode as unknown: it verifies through the
        // programming call's own argument, so its refusal takes nothing away.
        step("Configure verification", 2, [] {
            const fet_int status = fet->MSP430_Configure(CONFIGURE_VERIFICATION, 1);
            return fet_generation == FetGeneration::current ? 0 : status;
        });
        if (!flag(FLAG_PROGRAM)) {
            long_step("Verify...wait...",
                      [] { return fet->MSP430_VerifyFile(settings.program_file.c_str()); });
        }
    }
    if (!flag(FLAG_PRESERVE_RAM)) {
        step("Disable RAM preserving", 2, [] { return fet->MSP430_Configure(CONFIGURE_RAM_PRESERVE, 0); });
    }
    if (flag(FLAG_UNLOCK_INFO) || flag(FLAG_ERASE_INFO)) {
        step("Info Memory Unlock", 2, [] { return fet->MSP430_Configure(CONFIGURE_INFO_UNLOCK, 1); });
    }
    if (flag(FLAG_ERASE_INFO)) erase_info_memory();
    if (flag(FLAG_ERASE_ALL)) {
        step("Erase All", 2, [] { return fet->MSP430_Erase(ERASE_MAIN, 0xFFFE, 2); });
    }
    if (flag(FLAG_BLANK_CHECK)) {
        step("Blank Check", 2, [] { return fet->MSP430_EraseCheck(flash_start(), flash_length()); });
    }
    if (flag(FLAG_PROGRAM)) program_device();
    if (flag(FLAG_READ_OUT)) {
        long_step("Read. Wait...", [] {
            return fet->MSP430_ReadOutFile(flash_start(), flash_length(), settings.read_out_file.c_str(),
                                           FILE_INTEL_HEX);
        });
    }
    if (flag(FLAG_BLOW_FUSE)) {
        long_step("Blowing the device security fuse", [] { return fet->MSP430_Secure(); }, settings.fuse_status);
    }
    if (settings.reset_method != 0 && reset_device(3) != 0) exit_program(1);
    step("Closing Interface", 2, [] { return fet->MSP430_Close(flag(FLAG_POWER_OFF) ? 1 : 0); });
    release_elf_as_intel_hex();
}
