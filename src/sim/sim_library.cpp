// The simulator's answers to the 18 library calls. What the fixed arguments the program hands
// over mean here:
//
//   MSP430_Configure(mode, value): mode 8 selects the interface (0 4-wire JTAG, 1 Spy-Bi-Wire,
//       2 Spy-Bi-Wire through JTAG); mode 0 turns verification on (1) or off (0); mode 10
//       preserves RAM across the following steps (1) or not (0); mode 5 unlocks (1) or locks (0)
//       information segment A. Each needs a value of its own range.
//   MSP430_Identify(record, 80, 0): the 0 asks for whatever part is attached.
//   MSP430_Erase(0, address, 64 or 128): erases the segment that holds address; the part's own
//       segment size decides how much, the length is the caller's idea of it.
//   MSP430_Erase(1, 0xFFFE, 2): erases main and information memory (segment A only while
//       unlocked); the address and the length are not used.
//   MSP430_ProgramFile(file, 1, verify): 1 (ERASE_MAIN) erases main memory first, 2 (ERASE_ALL)
//       the information memory too but segment A, as the vendor's library does; 0 erases nothing,
//       so the image is ANDed into what is there. Verify 1 reads every byte back.
//   MSP430_ReadOutFile(address, length, file, 2): 2 writes Intel HEX, 1 TI-TXT.
//   MSP430_Reset(method, 1, 0): method bits 1 (PUC), 2 (RST/NMI) and 4 (power cycle), with
//       bit 7 asking for exactly the chosen ones; 1 starts the program; 0 keeps JTAG attached.
//   MSP430_Close(vcc_off): 1 switches the target's supply off, 0 leaves it.
//
// The board (the G2553's CPU, clocks and peripherals) runs what the target's flash holds. JTAG
// access halts its CPU; the reset with execute 1 starts it again from the reset vector, with
// the flash as the pass left it.
//
// The target lives for the process: a second MSP430_Initialize (another programming pass from
// the terminal) finds the memory as the first pass left it, as a real board would. Each run of
// the program starts with a blank one.
#include "sim/sim_library.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "base/ascii_text.h"
#include "image/image_file.h"
#include "chip/parts.h"
#include "base/error_text.h"
#include "chip/board.h"
#include "chip/sim_errors.h"
#include "chip/target.h"

namespace {

// Reported through MSP430_Initialize's version out-parameter.
constexpr fet_int SIM_VERSION = 100;
constexpr const char* SIM_PREFIX = "SIM";
constexpr const char* END_OF_DEVICES = "End_of_devices";
char adapter_name[] = "SIM";

constexpr fet_int INTERFACE_MAX = 2;
constexpr fet_int CONFIGURE_ON = 1;
constexpr fet_int PROGRAM_ERASE_NONE = 0;
constexpr fet_int RESET_KINDS = 0x07;
constexpr long SUPPLY_AT_OPEN_MV = 3000;

struct Simulator {
    bool open = false;
    std::optional<Target> target;
    fet_int last_error = SIM_OK;
    std::string last_text;
    // Made on first use: only the board part has one.
    std::unique_ptr<Board> board;
    bool board_started = false;
};

Simulator sim;

fet_int fail(int error, std::string text) {
    sim.last_error = error;
    sim.last_text = std::move(text);
    return STATUS_FAILED;
}

fet_int result(int error, std::string& why) { return error == SIM_OK ? 0 : fail(error, std::move(why)); }

// Every JTAG access stops the CPU where it is until the next reset starts it.
void jtag_takes_chip() {
    if (sim.board) sim.board->halt();
}

bool is_open() {
    if (sim.open) return true;
    fail(SIM_NOT_OPEN, "The simulated adapter is not open: MSP430_Initialize comes first");
    return false;
}

// For the calls that reach the chip's memory through JTAG.
bool jtag_open() {
    if (!is_open()) return false;
    jtag_takes_chip();
    return true;
}

bool has_board(const Part& part) { return std::strcmp(part.name, BOARD_PART) == 0; }

Board& board() {
    if (!sim.board) sim.board = std::make_unique<Board>();
    return *sim.board;
}

void start_board() {
    board().start(*sim.target, board_clock_ns());
    sim.board_started = true;
}

// The part named by the adapter name, or null (with the error set) when it names none. Built as
// a shared library the simulator is reached under the real adapters' names too ("TIUSB"); those
// get the default part, or the one named after a colon ("TIUSB:FR5994"), since kesto keeps
// "SIM:<part>" for its built-in simulator.
const Part* part_for_port(const char* port) {
    const char* colon = std::strchr(port, ':');
    const bool simulator_name = ascii_starts_with(port, SIM_PREFIX);
    if (!simulator_name && !colon) return &default_part();
    const char* rest = simulator_name ? port + std::strlen(SIM_PREFIX) : colon;
    if (*rest == 0) return &default_part();
    if (*rest == ':') {
        if (const Part* part = find_part(rest + 1)) return part;
        fail(SIM_NO_ADAPTER,
             error_text("Unknown simulated part \"%s\"; -list shows the parts the simulator knows", rest + 1));
        return nullptr;
    }
    fail(SIM_NO_ADAPTER, error_text("Unknown simulated adapter \"%s\": use SIM, or SIM:<part> as -list shows", port));
    return nullptr;
}

fet_int FET_CALL sim_initialize(const char* port, fet_int* version) {
    if (!port || !version) return fail(SIM_BAD_ARGUMENT, "MSP430_Initialize needs a port name and a version");
    const Part* part = part_for_port(port);
    if (!part) return STATUS_FAILED;
    jtag_takes_chip();
    if (!sim.target || &sim.target->part() != part) sim.target.emplace(*part);
    std::string unused;
    sim.target->set_supply(SUPPLY_AT_OPEN_MV, unused);
    sim.target->set_segment_a_unlocked(false);
    sim.open = true;
    *version = SIM_VERSION;
    return 0;
}

fet_int FET_CALL sim_configure(fet_int mode, fet_int value) {
    if (!is_open()) return STATUS_FAILED;
    if (mode == CONFIGURE_INTERFACE) {
        if (value < 0 || value > INTERFACE_MAX)
            return fail(SIM_BAD_ARGUMENT,
                        error_text("Interface %d is not 0 (4-wire JTAG), 1 (Spy-Bi-Wire) or 2 (Spy-Bi-Wire through JTAG)",
                                   value));
        return 0;
    }
    if (mode != CONFIGURE_VERIFICATION && mode != CONFIGURE_RAM_PRESERVE && mode != CONFIGURE_INFO_UNLOCK)
        return fail(SIM_BAD_ARGUMENT, error_text("Configure mode %d is unknown", mode));
    if (value != 0 && value != CONFIGURE_ON)
        return fail(SIM_BAD_ARGUMENT, error_text("Configure mode %d takes 0 or 1, not %d", mode, value));
    if (mode == CONFIGURE_INFO_UNLOCK) sim.target->set_segment_a_unlocked(value == CONFIGURE_ON);
    return 0;
}

fet_int FET_CALL sim_vcc(fet_int millivolts) {
    if (!is_open()) return STATUS_FAILED;
    std::string why;
    return result(sim.target->set_supply(millivolts, why), why);
}

fet_int FET_CALL sim_get_ext_voltage(fet_int* millivolts, fet_int* state) {
    if (!is_open()) return STATUS_FAILED;
    if (!millivolts || !state) return fail(SIM_BAD_ARGUMENT, "MSP430_GetExtVoltage needs two out-parameters");
    // The simulated board has no supply of its own.
    *millivolts = 0;
    *state = EXT_VCC_NONE;
    return 0;
}

fet_int check_record(const char* record, fet_int size) {
    if (!record || size < DEVICE_RECORD_SIZE)
        return fail(SIM_BAD_ARGUMENT, error_text("The device record needs %d bytes", DEVICE_RECORD_SIZE));
    return 0;
}

fet_int FET_CALL sim_identify(char* record, fet_int size, fet_int /*set_id*/) {
    if (!jtag_open()) return STATUS_FAILED;
    if (check_record(record, size)) return STATUS_FAILED;
    std::string why;
    if (const int error = sim.target->check_access(why)) return fail(error, why);
    fill_device_record(sim.target->part(), reinterpret_cast<unsigned char*>(record));
    return 0;
}

fet_int FET_CALL sim_device(fet_int id, char* record, fet_int size) {
    if (check_record(record, size)) return STATUS_FAILED;
    const auto parts = all_parts();
    const auto count = static_cast<fet_int>(parts.size());
    if (id >= 1 && id <= count) {
        fill_device_record(parts[static_cast<std::size_t>(id - 1)], reinterpret_cast<unsigned char*>(record));
        return 0;
    }
    if (id == count + 1) {
        std::memset(record, 0, DEVICE_RECORD_SIZE);
        std::strcpy(record + DEV_NAME, END_OF_DEVICES);
        return 0;
    }
    return fail(SIM_BAD_ARGUMENT, error_text("No device with number %d; the simulator knows 1 to %d", id, count));
}

// A negative address or length cannot name target memory.
bool valid_range(fet_int address, fet_int length) {
    if (address >= 0 && length > 0) return true;
    fail(SIM_BAD_ARGUMENT, error_text("Invalid range: address %d, length %d", address, length));
    return false;
}

fet_int FET_CALL sim_erase(fet_int type, fet_int address, fet_int length) {
    if (!jtag_open()) return STATUS_FAILED;
    std::string why;
    if (type == ERASE_MAIN) return result(sim.target->erase_all(why), why);
    if (type != ERASE_SEGMENT) return fail(SIM_BAD_ARGUMENT, error_text("Erase type %d is not 0 or 1", type));
    if (!valid_range(address, length)) return STATUS_FAILED;
    return result(sim.target->erase_segment(static_cast<std::uint32_t>(address), why), why);
}

fet_int FET_CALL sim_erase_check(fet_int address, fet_int length) {
    if (!jtag_open() || !valid_range(address, length)) return STATUS_FAILED;
    std::string why;
    return result(sim.target->erase_check(static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(length), why),
                  why);
}

// Segment A keeps the factory's DCO calibration on the parts that have one, whatever its lock says.
int erase_information_but_a(std::string& why) {
    const Part& part = sim.target->part();
    for (std::uint32_t at = part.info_start; at <= part.info_end; at += part.info_segment) {
        if (part.lockable_a && at == segment_a_start(part)) continue;
        if (const int error = sim.target->erase_segment(at, why)) return error;
    }
    return SIM_OK;
}

// Reads the whole image before the target is touched, so a bad file changes nothing.
bool load_image(const char* file, MemoryImage& image) {
    if (!file) {
        fail(SIM_FILE_UNREADABLE, "No image file was named");
        return false;
    }
    std::string why;
    const int error = read_image_file(file, image, why);
    if (error == IMAGE_OK) return true;
    fail(error == IMAGE_UNREADABLE ? SIM_FILE_UNREADABLE : SIM_FILE_FORMAT, why);
    return false;
}

fet_int FET_CALL sim_program_file(const char* file, fet_int erase_type, fet_int verify) {
    if (!jtag_open()) return STATUS_FAILED;
    if (erase_type != PROGRAM_ERASE_NONE && erase_type != ERASE_MAIN && erase_type != ERASE_ALL)
        return fail(SIM_BAD_ARGUMENT, error_text("Program erase type %d is not 0, 1 or 2", erase_type));
    std::string why;
    if (const int error = sim.target->check_access(why)) return fail(error, why);
    MemoryImage image;
    if (!load_image(file, image)) return STATUS_FAILED;
    // An image the part cannot take is refused before the erase, so a failed call changes nothing.
    if (const int error = sim.target->check_placement(image, why)) return fail(error, why);
    if (erase_type != PROGRAM_ERASE_NONE) {
        if (const int error = sim.target->erase_main(why)) return fail(error, why);
    }
    if (erase_type == ERASE_ALL) {
        if (const int error = erase_information_but_a(why)) return fail(error, why);
    }
    if (const int error = sim.target->program(image, why)) return fail(error, why);
    if (verify) return result(sim.target->verify(image, why), why);
    return 0;
}

fet_int FET_CALL sim_verify_file(const char* file) {
    if (!jtag_open()) return STATUS_FAILED;
    std::string why;
    if (const int error = sim.target->check_access(why)) return fail(error, why);
    MemoryImage image;
    if (!load_image(file, image)) return STATUS_FAILED;
    return result(sim.target->verify(image, why), why);
}

fet_int FET_CALL sim_read_out_file(fet_int address, fet_int length, const char* file, fet_int file_type) {
    if (!jtag_open()) return STATUS_FAILED;
    if (file_type != FILE_INTEL_HEX && file_type != FILE_TI_TXT)
        return fail(SIM_BAD_ARGUMENT, error_text("File type %d is not 1 (TI-TXT) or 2 (Intel HEX)", file_type));
    if (!file) return fail(SIM_FILE_UNWRITABLE, "No read-out file was named");
    if (!valid_range(address, length)) return STATUS_FAILED;
    std::vector<std::uint8_t> data;
    std::string why;
    const int error = sim.target->read(static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(length), data, why);
    if (error) return fail(error, why);
    if (!write_image_file(file, file_type == FILE_INTEL_HEX, static_cast<std::uint32_t>(address), data, why))
        return fail(SIM_FILE_UNWRITABLE, why);
    return 0;
}

fet_int FET_CALL sim_secure() {
    if (!jtag_open()) return STATUS_FAILED;
    std::string why;
    return result(sim.target->blow_fuse(why), why);
}

fet_int FET_CALL sim_reset(fet_int method, fet_int execute, fet_int /*release_jtag*/) {
    if (!is_open()) return STATUS_FAILED;
    std::string why;
    if (const int error = sim.target->check_access(why)) return fail(error, why);
    if ((method & RESET_KINDS) == 0)
        return fail(SIM_BAD_ARGUMENT, error_text("Reset method %d selects no reset (1 PUC, 2 RST/NMI, 4 Vcc)", method));
    if (execute && has_board(sim.target->part())) start_board();
    return 0;
}

fet_int FET_CALL sim_close(fet_int vcc_off) {
    if (!is_open()) return STATUS_FAILED;
    if (vcc_off) {
        std::string unused;
        sim.target->set_supply(0, unused);
        jtag_takes_chip();
        sim.board_started = true;  // off, not merely never switched on
    }
    sim.open = false;
    return 0;
}

fet_int FET_CALL sim_error_number() { return sim.last_error; }

const char* FET_CALL sim_error_string(fet_int number) {
    if (number == sim.last_error && number != SIM_OK && !sim.last_text.empty()) return sim.last_text.c_str();
    return sim_error_text(number);
}

fet_int FET_CALL sim_get_number_of_usb_ifs(fet_int* count) {
    if (!count) return fail(SIM_BAD_ARGUMENT, "MSP430_GetNumberOfUsbIfs needs an out-parameter");
    *count = 1;
    return 0;
}

fet_int FET_CALL sim_get_name_of_usb_if(fet_int index, char** name, fet_int* in_use) {
    if (!name || !in_use) return fail(SIM_BAD_ARGUMENT, "MSP430_GetNameOfUsbIf needs two out-parameters");
    if (index != 0) return fail(SIM_BAD_ARGUMENT, error_text("No adapter number %d; the simulator has one, 0", index));
    *name = adapter_name;
    *in_use = 0;
    return 0;
}

constexpr FetLibrary SIMULATOR = {
    sim_initialize,
    sim_configure,
    sim_vcc,
    sim_get_ext_voltage,
    sim_identify,
    sim_device,
    sim_erase,
    sim_erase_check,
    sim_program_file,
    sim_verify_file,
    sim_read_out_file,
    sim_secure,
    sim_reset,
    sim_close,
    sim_error_number,
    sim_error_string,
    sim_get_number_of_usb_ifs,
    sim_get_name_of_usb_if,
    nullptr,  // the built-in adapter's firmware always matches
};

}  // namespace

const FetLibrary* simulator_library() { return &SIMULATOR; }

void reset_simulator() { sim = Simulator{}; }

fet_int simulator_fail(int error, std::string text) { return fail(error, std::move(text)); }

Board* simulated_board(const char* fet_port, std::string& why) {
    const Part* part = ascii_starts_with(fet_port, SIM_PREFIX) ? part_for_port(fet_port) : nullptr;
    if (part && has_board(*part)) return &board();
    why = part ? error_text("-FET %s simulates the %s, which has no board here", fet_port, part->name)
               : error_text("-FET %s is no simulated adapter", fet_port);
    return nullptr;
}

void power_up_simulated_board(std::uint64_t now_ns) {
    if (sim.board_started) return;
    if (!sim.target) sim.target.emplace(default_part());
    board().start(*sim.target, now_ns);
    sim.board_started = true;
}

std::uint64_t board_clock_ns() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}
