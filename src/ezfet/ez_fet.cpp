#include "ezfet/ez_fet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/ascii_text.h"
#include "chip/board.h"
#include "chip/target.h"
#include "ezfet/version_record.h"
#include "image/memory_image.h"

namespace {

// Packet types, host to adapter and back.
constexpr std::uint8_t CMD_EXECUTE = 0x81;
constexpr std::uint8_t CMD_EXECUTE_LOOP = 0x82;
constexpr std::uint8_t CMD_KILL = 0x86;
constexpr std::uint8_t CMD_EXECUTE_EVER = 0x8A;
constexpr std::uint8_t CMD_COM_RESET = 0x8B;
constexpr std::uint8_t CMD_PAUSE_LOOP = 0x8C;
constexpr std::uint8_t CMD_RESUME_LOOP = 0x8D;
constexpr std::uint8_t CMD_KILL_ALL = 0x8E;
constexpr std::uint8_t CMD_OVER_CURRENT = 0x8F;
constexpr std::uint8_t CMD_DCDC_FIRST = 0x56;
constexpr std::uint8_t CMD_CORE_GET_VCC = 0x64;
constexpr std::uint8_t CMD_CORE_SWITCH_FET = 0x65;
constexpr std::uint8_t CMD_CMP_VERSIONS = 0x66;
constexpr std::uint8_t RESP_ACK = 0x91;
constexpr std::uint8_t RESP_EXCEPTION = 0x92;
constexpr std::uint8_t RESP_DATA = 0x93;

constexpr std::uint8_t MORE_FOLLOWS = 0x80;
// A reply longer than this goes out in several packets.
constexpr std::size_t REPLY_PAYLOAD = 252;
// The adapter drops a packet that has not arrived whole within this time.
constexpr std::uint64_t PARTIAL_PACKET_NS = 500'000'000;

constexpr std::uint16_t JTAG_ID_430 = 0x89;
constexpr std::uint16_t FUSE_BLOWN = 0x5555;
constexpr std::uint32_t DEVICE_ID_ADDRESS = 0x0FF0;
// The boot ROM's identification words, where the library reads which part it talks to. The
// board does not model the boot ROM; the G2553's id is what the library's device list expects.
struct DeviceId {
    const char* part;
    std::uint8_t bytes[2];
};
constexpr DeviceId DEVICE_IDS[] = {{"MSP430G2553", {0x25, 0x53}}};
constexpr std::uint16_t SUPPLY_MV = 3000;
// What GetDcoFrequency reports: DCO 3 at RSEL 7, a clock the flash timing generator takes.
constexpr std::uint16_t FLASH_DCOCTL = 0x60;
constexpr std::uint16_t FLASH_BCSCTL1 = 0x87;

// ExecuteFunclet's operations, as the library's flash funclet takes them (FCTL1 values).
constexpr std::uint16_t FUNCLET_WRITE = 0x0000;
constexpr std::uint16_t FUNCLET_SEGMENT_ERASE = 0xA502;
constexpr std::uint16_t FUNCLET_MAIN_ERASE = 0xA504;
constexpr std::uint16_t FUNCLET_MASS_ERASE = 0xA506;
// In the FCTL3 value handed over: set, it toggles LOCKA, which unlocks segment A.
constexpr std::uint16_t FCTL3_LOCKA = 0x0040;

// How the adapter answers a command: with the data it streamed, an acknowledgement carrying a
// value, or an exception carrying an error code.
struct Outcome {
    std::uint8_t type = 0x93;
    std::uint16_t value = 0;
    std::vector<std::uint8_t> data;
};

// Reads a macro's little-endian arguments; reading past the end gives zeros and marks it.
class Args {
public:
    explicit Args(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    std::uint8_t u8() {
        if (pos_ >= bytes_.size()) {
            short_ = true;
            return 0;
        }
        return bytes_[pos_++];
    }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | u8() << 8); }
    std::uint32_t u32() { return u16() | static_cast<std::uint32_t>(u16()) << 16; }
    std::size_t left() const { return pos_ < bytes_.size() ? bytes_.size() - pos_ : 0; }
    bool short_of_data() const { return short_; }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t pos_ = 0;
    bool short_ = false;
};

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v);
    put16(out, v >> 16);
}

Outcome data(std::vector<std::uint8_t> bytes = {}) { return Outcome{RESP_DATA, 0, std::move(bytes)}; }
Outcome ack(std::uint16_t value) { return Outcome{RESP_ACK, value, {}}; }
// -1, the firmware's answer to what it cannot do.
Outcome failure() { return Outcome{RESP_EXCEPTION, 0xFFFF, {}}; }

struct MacroName {
    const char* name;
    std::uint16_t id;
};
constexpr MacroName MACRO_NAMES[] = {
    {"Zero", EzFetMacro::ZERO},
    {"Init", EzFetMacro::INIT},
    {"SetVcc", EzFetMacro::SET_VCC},
    {"GetVcc", EzFetMacro::GET_VCC},
    {"StartJtag", EzFetMacro::START_JTAG},
    {"StopJtag", EzFetMacro::STOP_JTAG},
    {"Configure", EzFetMacro::CONFIGURE},
    {"GetFuses", EzFetMacro::GET_FUSES},
    {"BlowFuse", EzFetMacro::BLOW_FUSE},
    {"WaitForEem", EzFetMacro::WAIT_FOR_EEM},
    {"BitSequence", EzFetMacro::BIT_SEQUENCE},
    {"GetJtagId", EzFetMacro::GET_JTAG_ID},
    {"GetInterfaceMode", EzFetMacro::GET_INTERFACE_MODE},
    {"GetDeviceIdPtr", EzFetMacro::GET_DEVICE_ID_PTR},
    {"SyncJtag_AssertPor_SaveContext", EzFetMacro::SYNC_POR_SAVE_CONTEXT},
    {"SyncJtag_Conditional_SaveContext", EzFetMacro::SYNC_CONDITIONAL_SAVE_CONTEXT},
    {"RestoreContext_ReleaseJtag", EzFetMacro::RESTORE_CONTEXT_RELEASE},
    {"ReadMemBytes", EzFetMacro::READ_MEM_BYTES},
    {"ReadMemWords", EzFetMacro::READ_MEM_WORDS},
    {"ReadMemQuick", EzFetMacro::READ_MEM_QUICK},
    {"WriteMemBytes", EzFetMacro::WRITE_MEM_BYTES},
    {"WriteMemWords", EzFetMacro::WRITE_MEM_WORDS},
    {"EemDataExchange", EzFetMacro::EEM_DATA_EXCHANGE},
    {"ReadAllCpuRegs", EzFetMacro::READ_ALL_CPU_REGS},
    {"WriteAllCpuRegs", EzFetMacro::WRITE_ALL_CPU_REGS},
    {"Psa", EzFetMacro::PSA},
    {"ExecuteFunclet", EzFetMacro::EXECUTE_FUNCLET},
    {"GetDcoFrequency", EzFetMacro::GET_DCO_FREQUENCY},
    {"IsJtagFuseBlown", EzFetMacro::IS_JTAG_FUSE_BLOWN},
    {"ResetStaticGlobalVars", EzFetMacro::RESET_STATIC_GLOBAL_VARS},
};

}  // namespace

int ez_fet_macro_id(const char* name) {
    for (const MacroName& m : MACRO_NAMES) {
        if (name && ascii_equal(m.name, name)) return m.id;
    }
    return -1;
}

std::vector<std::uint8_t> ezfet_version_record(bool old_firmware) {
    std::vector<std::uint8_t> r(EZFET_VERSION_RECORD_SIZE, 0);
    const auto set = [&r](std::size_t offset, std::uint16_t v) {
        r[offset] = static_cast<std::uint8_t>(v);
        r[offset + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    for (const EzFetVersionWord& w : EZFET_VERSION_WORDS) set(w.offset, w.value);
    set(4, EZFET_TOOL_ID);  // hardware version words: the tool id, as the adapter gives them
    set(6, EZFET_TOOL_ID);
    set(8, EZFET_TOOL_ID);
    set(16, 0xFFFF);  // no DC-DC sub-controller
    set(32, 4);       // receive queues
    set(34, 258);     // receive buffer size
    if (old_firmware) {
        set(EZFET_HIL_CHECKSUM_OFFSET,
            static_cast<std::uint16_t>(r[EZFET_HIL_CHECKSUM_OFFSET] | r[EZFET_HIL_CHECKSUM_OFFSET + 1] << 8) ^ 0x0101);
    }
    return r;
}

struct EzFet::Engine {
    Engine(Target& t, Board& b, const EzFetFaults& f) : target(t), board(b), faults(f), fuse_blown(f.fuse_blown) {}

    Target& target;
    Board& board;
    EzFetFaults faults;

    std::vector<std::uint8_t> rx;
    std::uint64_t rx_since_ns = 0;
    std::vector<std::uint8_t> tx;
    std::size_t tx_head = 0;
    std::uint64_t now_ns = 0;

    // A host message that spans packets: each but the last has MORE_FOLLOWS in its id.
    bool gathering = false;
    std::uint8_t gathering_type = 0;
    std::uint16_t macro = 0;
    std::vector<std::uint8_t> message;

    bool silent = false;
    long executes = 0;
    bool holding_chip = false;  // the board is halted under "JTAG"
    bool fuse_blown;
    std::array<std::uint16_t, 128> eem{};

    void receive(const std::uint8_t* bytes, std::size_t n);
    void packet(const std::uint8_t* p, std::size_t size);
    void non_execute(std::uint8_t type, std::uint8_t id, const std::uint8_t* payload, std::size_t n);
    Outcome run(std::uint16_t id);
    void answer(std::uint8_t id, const Outcome& outcome);
    void send(std::uint8_t type, std::uint8_t id, const std::vector<std::uint8_t>& payload);
    void send_packet(std::uint8_t type, std::uint8_t id, std::uint8_t counter, const std::uint8_t* payload,
                     std::size_t n);

    void take_chip();
    std::uint8_t read_byte(std::uint16_t address);
    std::uint16_t read_word(std::uint16_t address);
    Outcome sync(Args& in, bool por);
    Outcome restore(Args& in);
    Outcome read_memory(Args& in, bool words);
    Outcome write_memory(Args& in, bool words);
    Outcome psa(Args& in);
    Outcome funclet(Args& in);
    void stick_bit();
};

void EzFet::Engine::receive(const std::uint8_t* bytes, std::size_t n) {
    if (!rx.empty() && now_ns > rx_since_ns + PARTIAL_PACKET_NS) rx.clear();
    if (rx.empty()) rx_since_ns = now_ns;
    rx.insert(rx.end(), bytes, bytes + n);
    std::size_t pos = 0;
    while (pos < rx.size()) {
        const std::size_t length = rx[pos];
        if (length < 3) {  // no packet is that short: skip the byte to find the next
            ++pos;
            continue;
        }
        // The host pads to an even size and, talking to an eZ-FET, sends no checksum.
        const std::size_t size = (length & 1) ? length + 1 : length + 2;
        if (rx.size() - pos < size) break;
        packet(rx.data() + pos, size);
        pos += size;
    }
    rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(pos));
    rx_since_ns = now_ns;
}

void EzFet::Engine::packet(const std::uint8_t* p, std::size_t) {
    const std::uint8_t type = p[1], id = p[2];
    const std::uint8_t* payload = p + 4;
    std::size_t n = p[0] - 3u;
    if (type == RESP_EXCEPTION && id == 0) {  // communication reset: start afresh, say nothing
        gathering = false;
        tx.clear();
        tx_head = 0;
        return;
    }
    if (silent || type == RESP_ACK) return;
    if (type == CMD_COM_RESET) {
        gathering = false;
        return;
    }
    if (type != CMD_EXECUTE) {
        gathering = false;
        non_execute(type, id, payload, n);
        return;
    }
    if (!(gathering && gathering_type == type)) {
        message.clear();
        macro = n >= 2 ? static_cast<std::uint16_t>(payload[0] | payload[1] << 8) : 0;
        payload += std::min<std::size_t>(n, 2);
        n -= std::min<std::size_t>(n, 2);
        if ((faults.silent_after_executes >= 0 && executes >= faults.silent_after_executes) ||
            (faults.silent_at_macro >= 0 && macro == faults.silent_at_macro)) {
            silent = true;
            return;
        }
    }
    message.insert(message.end(), payload, payload + n);
    if (id & MORE_FOLLOWS) {
        // Each packet but the last gets an empty acknowledgement: the host's cue for the next.
        gathering = true;
        gathering_type = type;
        send_packet(RESP_ACK, id & 0x7F, 0, nullptr, 0);
        return;
    }
    gathering = false;
    ++executes;
    answer(id, run(macro));
}

void EzFet::Engine::non_execute(std::uint8_t type, std::uint8_t id, const std::uint8_t*, std::size_t) {
    switch (type) {
        case CMD_CORE_GET_VCC: {
            std::vector<std::uint8_t> out;
            put16(out, SUPPLY_MV);
            put16(out, 0);
            send(RESP_DATA, id, out);
            return;
        }
        case CMD_CMP_VERSIONS: {
            std::vector<std::uint8_t> out;
            const std::vector<std::uint8_t> record = ezfet_version_record(faults.old_firmware);
            for (std::size_t offset : {0u, 2u, 12u, 14u, 18u}) {
                out.push_back(record[offset]);
                out.push_back(record[offset + 1]);
            }
            send(RESP_DATA, id, out);
            return;
        }
        // The firmware leaves its result unset here, so a real adapter answers an exception;
        // the library ignores it.
        case CMD_OVER_CURRENT: answer(id, failure()); return;
        case CMD_KILL_ALL: answer(id, ack(1)); return;
        case CMD_EXECUTE_LOOP:
        case CMD_EXECUTE_EVER:
        case CMD_KILL:
        case CMD_PAUSE_LOOP:
        case CMD_RESUME_LOOP: answer(id, ack(0)); return;
        default: break;
    }
    // The DC-DC and supply commands of a fixed-supply adapter succeed doing nothing; firmware
    // updates cannot happen over this port.
    if (type >= CMD_DCDC_FIRST && type <= CMD_CORE_SWITCH_FET) {
        answer(id, ack(0));
    } else {
        answer(id, failure());
    }
}

void EzFet::Engine::answer(std::uint8_t id, const Outcome& outcome) {
    if (outcome.type == RESP_DATA) {
        send(RESP_DATA, id, outcome.data);
        return;
    }
    std::vector<std::uint8_t> value;
    put16(value, outcome.value);
    send(outcome.type, id, value);
}

void EzFet::Engine::send(std::uint8_t type, std::uint8_t id, const std::vector<std::uint8_t>& payload) {
    id &= 0x7F;
    const std::uint8_t* p = payload.data();
    std::size_t left = payload.size();
    if (left < REPLY_PAYLOAD) {
        send_packet(type, id, 0, p, left);
        return;
    }
    // A full packet always has a follower, even an empty one, as the firmware's stream does.
    std::uint8_t counter = 1;
    for (; left >= REPLY_PAYLOAD; left -= REPLY_PAYLOAD, p += REPLY_PAYLOAD) {
        send_packet(type, id | MORE_FOLLOWS, counter++, p, REPLY_PAYLOAD);
    }
    send_packet(type, id, counter, p, left);
}

void EzFet::Engine::send_packet(std::uint8_t type, std::uint8_t id, std::uint8_t counter, const std::uint8_t* payload,
                                std::size_t n) {
    if (tx_head > 0 && tx_head == tx.size()) {
        tx.clear();
        tx_head = 0;
    }
    const std::size_t start = tx.size();
    const auto length = static_cast<std::uint8_t>(3 + n);
    tx.insert(tx.end(), {length, type, id, counter});
    if (n > 0) tx.insert(tx.end(), payload, payload + n);
    if ((length & 1) == 0) tx.push_back(0);
    std::uint16_t sum = 0;
    for (std::size_t i = start; i < tx.size(); i += 2) sum ^= static_cast<std::uint16_t>(tx[i] | tx[i + 1] << 8);
    put16(tx, sum ^ 0xFFFF);
}

// The first access over "JTAG" halts the board; a board nobody has started is powered up
// from the target first, as the adapter powers the chip.
void EzFet::Engine::take_chip() {
    if (holding_chip) return;
    if (!board.running()) board.start(target, now_ns);
    board.halt();
    holding_chip = true;
}

std::uint8_t EzFet::Engine::read_byte(std::uint16_t address) {
    if (address >= DEVICE_ID_ADDRESS && address < DEVICE_ID_ADDRESS + 2) {
        for (const DeviceId& d : DEVICE_IDS) {
            if (std::strcmp(d.part, target.part().name) == 0) return d.bytes[address - DEVICE_ID_ADDRESS];
        }
    }
    return static_cast<std::uint8_t>(board.debug_read(address, true));
}

std::uint16_t EzFet::Engine::read_word(std::uint16_t address) {
    if (address >= DEVICE_ID_ADDRESS && address < DEVICE_ID_ADDRESS + 2) {
        return static_cast<std::uint16_t>(read_byte(DEVICE_ID_ADDRESS) | read_byte(DEVICE_ID_ADDRESS + 1) << 8);
    }
    return board.debug_read(address, false);
}

Outcome EzFet::Engine::run(std::uint16_t id) {
    Args in(message);
    namespace M = EzFetMacro;
    std::vector<std::uint8_t> out;
    switch (id) {
        case M::ZERO:
            if (in.u8() != 0) return failure();  // only the version record is asked for
            return data(ezfet_version_record(faults.old_firmware));
        case M::INIT:
        case M::SET_VCC:
        case M::STOP_JTAG:
        case M::CONFIGURE:
        case M::WAIT_FOR_EEM:
        case M::BIT_SEQUENCE:
        case M::RESET_STATIC_GLOBAL_VARS: return data();
        case M::GET_VCC:
            put16(out, SUPPLY_MV);
            put16(out, 0);
            return data(out);
        case M::START_JTAG: return data({1});  // one device in the chain
        case M::GET_FUSES: return data({0});
        case M::BLOW_FUSE: {
            std::string why;
            target.blow_fuse(why);
            fuse_blown = true;
            return data();
        }
        case M::GET_JTAG_ID:
            put16(out, JTAG_ID_430);
            return data(out);
        case M::GET_INTERFACE_MODE:
            put16(out, JTAG_ID_430);
            put16(out, 1);  // Spy-Bi-Wire
            return data(out);
        case M::GET_DEVICE_ID_PTR:
            put32(out, 0);
            put32(out, DEVICE_ID_ADDRESS);
            put16(out, 0);
            return data(out);
        case M::SYNC_POR_SAVE_CONTEXT: return sync(in, true);
        case M::SYNC_CONDITIONAL_SAVE_CONTEXT: return sync(in, false);
        case M::RESTORE_CONTEXT_RELEASE: return restore(in);
        case M::READ_MEM_BYTES: return read_memory(in, false);
        case M::READ_MEM_WORDS:
        case M::READ_MEM_QUICK: return read_memory(in, true);
        case M::WRITE_MEM_BYTES: return write_memory(in, false);
        case M::WRITE_MEM_WORDS: return write_memory(in, true);
        case M::EEM_DATA_EXCHANGE:
            for (int count = in.u8(); count > 0 && !in.short_of_data(); --count) {
                const std::uint8_t address = in.u8();
                if (address & 1) {
                    put16(out, eem[(address >> 1) & 0x7F]);
                } else {
                    eem[(address >> 1) & 0x7F] = in.u16();
                }
            }
            return data(out);
        case M::READ_ALL_CPU_REGS:
            take_chip();
            put16(out, board.debug_register(1));
            for (int r = 4; r < 16; ++r) put16(out, board.debug_register(r));
            return data(out);
        case M::WRITE_ALL_CPU_REGS:
            take_chip();
            board.debug_set_register(1, in.u16());
            for (int r = 4; r < 16; ++r) board.debug_set_register(r, in.u16());
            return data();
        case M::PSA: return psa(in);
        case M::EXECUTE_FUNCLET: return funclet(in);
        case M::GET_DCO_FREQUENCY:
            put16(out, FLASH_DCOCTL);
            put16(out, FLASH_BCSCTL1);
            put16(out, 0);
            return data(out);
        case M::IS_JTAG_FUSE_BLOWN:
            put16(out, fuse_blown ? FUSE_BLOWN : 0);
            return data(out);
        default: return failure();
    }
}

// Halts the CPU (with a PUC first when asked), holds the watchdog, and reports the context
// the library restores later: WDTCTL as it was, PC and SR.
Outcome EzFet::Engine::sync(Args& in, bool por) {
    const std::uint16_t wdt_address = in.u16();
    const std::uint16_t hold = in.u16();
    take_chip();
    if (por) board.debug_puc();
    const std::uint16_t wdt = board.debug_read(wdt_address, false);
    board.debug_write(wdt_address, static_cast<std::uint16_t>(hold | (wdt & 0xFF)), false);
    std::vector<std::uint8_t> out;
    put16(out, wdt);
    put32(out, board.debug_register(0));
    put16(out, board.debug_register(2));
    return data(out);
}

// Puts back the watchdog, PC and SR, and lets the CPU go on from there.
Outcome EzFet::Engine::restore(Args& in) {
    const std::uint16_t wdt_address = in.u16();
    const std::uint16_t wdt = in.u16();
    const std::uint32_t pc = in.u32();
    const std::uint16_t sr = in.u16();
    if (in.short_of_data()) return failure();
    take_chip();
    board.debug_write(wdt_address, wdt, false);
    board.debug_set_register(0, static_cast<std::uint16_t>(pc));
    board.debug_set_register(2, sr);
    board.resume(now_ns);
    holding_chip = false;
    return data();
}

Outcome EzFet::Engine::read_memory(Args& in, bool words) {
    const std::uint32_t address = in.u32();
    const std::uint32_t count = in.u32();
    if (in.short_of_data() || count > 0x10000) return failure();
    take_chip();
    std::vector<std::uint8_t> out;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (words) {
            put16(out, read_word(static_cast<std::uint16_t>(address + 2 * i)));
        } else {
            out.push_back(read_byte(static_cast<std::uint16_t>(address + i)));
        }
    }
    return data(out);
}

// RAM and registers take what is written; flash does not (only the flash controller can
// change it, through a funclet).
Outcome EzFet::Engine::write_memory(Args& in, bool words) {
    const std::uint32_t address = in.u32();
    const std::uint32_t count = in.u32();
    if (in.short_of_data()) return failure();
    take_chip();
    for (std::uint32_t i = 0; i < count && in.left() >= (words ? 2u : 1u); ++i) {
        if (words) {
            board.debug_write(static_cast<std::uint16_t>(address + 2 * i), in.u16(), false);
        } else {
            board.debug_write(static_cast<std::uint16_t>(address + i), in.u8(), true);
        }
    }
    return data();
}

// The signature the library computes over what it expects (its own algorithm, which the chip's
// PSA hardware reproduces), here over what the board's memory holds.
Outcome EzFet::Engine::psa(Args& in) {
    const std::uint32_t address = in.u32();
    const std::uint32_t words = in.u32();
    in.u8();  // regular or enhanced: the same signature
    if (in.short_of_data()) return failure();
    take_chip();
    std::uint16_t r = static_cast<std::uint16_t>(address - 2);
    for (std::uint32_t i = 0; i < words; ++i) {
        r = (r & 0x8000) ? static_cast<std::uint16_t>(((r ^ 0x0805) << 1) | 1) : static_cast<std::uint16_t>(r << 1);
        r ^= read_word(static_cast<std::uint16_t>(address + 2 * i));
    }
    std::vector<std::uint8_t> out;
    put16(out, r);
    return data(out);
}

// The library uploads its flash funclet into RAM and runs it with an operation and data; the
// emulator does what the funclet would have done, on the target, and reloads the board's copy.
Outcome EzFet::Engine::funclet(Args& in) {
    in.u16();  // RAM start
    in.u16();  // RAM available
    in.u16();  // code start
    const std::uint32_t address = in.u32();
    const std::uint32_t words = in.u32();
    const std::uint16_t operation = in.u16();
    const std::uint16_t fctl3 = in.u16();
    in.u16();  // DCOCTL
    in.u16();  // BCSCTL1
    if (in.short_of_data()) return failure();
    take_chip();
    std::string why;
    target.set_segment_a_unlocked((fctl3 & FCTL3_LOCKA) != 0);
    switch (operation) {
        case FUNCLET_SEGMENT_ERASE: target.erase_segment(address, why); break;
        case FUNCLET_MAIN_ERASE: target.erase_main(why); break;
        case FUNCLET_MASS_ERASE: target.erase_all(why); break;
        case FUNCLET_WRITE: {
            MemoryImage image;
            std::uint8_t previous = 0;
            for (std::uint32_t i = 0; i < 2 * words && in.left() > 0; ++i) {
                std::uint8_t value = in.u8();
                if (faults.stuck_bit && faults.stuck_high && address + i == faults.stuck_address) {
                    value |= faults.stuck_mask;
                }
                image.put(address + i, value, previous);
            }
            // What the chip refuses (a locked segment A) stays as it was, for verification to find.
            if (!image.empty()) target.program(image, why);
            break;
        }
        default: break;
    }
    target.set_segment_a_unlocked(false);
    stick_bit();
    board.load_flash(target);
    std::vector<std::uint8_t> out;
    put16(out, 0);
    return data(out);
}

// A bit stuck at 0 reads 0 again after every erase.
void EzFet::Engine::stick_bit() {
    if (!faults.stuck_bit || faults.stuck_high) return;
    const int byte = target.byte_at(faults.stuck_address);
    if (byte < 0) return;
    MemoryImage image;
    std::uint8_t previous = 0;
    image.put(faults.stuck_address, static_cast<std::uint8_t>(byte & ~faults.stuck_mask), previous);
    std::string why;
    target.set_segment_a_unlocked(true);
    target.program(image, why);
    target.set_segment_a_unlocked(false);
}

EzFet::EzFet(Target& target, Board& board, const EzFetFaults& faults)
    : engine_(std::make_unique<Engine>(target, board, faults)) {
    engine_->stick_bit();
    if (faults.fuse_blown) {
        std::string why;
        target.blow_fuse(why);
    }
}

EzFet::~EzFet() = default;

void EzFet::receive(const std::uint8_t* bytes, std::size_t n, std::uint64_t now_ns) {
    engine_->now_ns = now_ns;
    engine_->receive(bytes, n);
}

std::size_t EzFet::take(std::uint8_t* out, std::size_t capacity) {
    Engine& e = *engine_;
    const std::size_t n = std::min(capacity, e.tx.size() - e.tx_head);
    std::copy_n(e.tx.begin() + static_cast<std::ptrdiff_t>(e.tx_head), n, out);
    e.tx_head += n;
    if (e.tx_head == e.tx.size()) {
        e.tx.clear();
        e.tx_head = 0;
    }
    return n;
}

std::size_t EzFet::pending() const { return engine_->tx.size() - engine_->tx_head; }

bool EzFet::silent() const { return engine_->silent; }

long EzFet::executes() const { return engine_->executes; }
