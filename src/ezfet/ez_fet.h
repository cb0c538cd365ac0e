// The emulated eZ-FET: the debug adapter of a LaunchPad, as the chip maker's FET library sees it
// on the adapter's debug port, driving the virtual board's chip through "JTAG".
//
// A pure byte engine: the host's bytes go in with receive(), the adapter's answers come out
// with take(). It never blocks, sleeps or touches a device; whoever owns the port (a
// pseudo-terminal, a test) moves the bytes and tells the host time, which the engine needs
// only to halt and start the board at the right moment.
//
// It answers by meaning, not by running the adapter's firmware: flash erase and program go
// to the Target (and from there into the Board's copy), PSA checksums are computed over the
// board's memory, and the CPU's context is the Board's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class Board;
class Target;

// Faults the emulated adapter can be asked to show, one field each; the defaults are a sound
// adapter on a sound chip.
struct EzFetFaults {
    // A flash bit that does not hold what is programmed: the bits of stuck_mask at stuck_address
    // always read as stuck_high (1) or low (0), whatever is erased or programmed there.
    bool stuck_bit = false;
    std::uint32_t stuck_address = 0xC000;
    std::uint8_t stuck_mask = 0x01;
    bool stuck_high = false;

    // Firmware older than the library: the version record carries another HIL checksum, so that
    // MSP430_Initialize asks for an update (version -1).
    bool old_firmware = false;

    // The adapter goes silent (answers nothing more; not even a communication reset brings it
    // back) once it has answered this many EXECUTE commands; negative: never.
    long silent_after_executes = -1;
    // ... or at the first EXECUTE of this HAL macro id (see EzFetMacro, ez_fet_macro_id);
    // negative: never.
    int silent_at_macro = -1;

    // The chip's JTAG security fuse is blown from the start.
    bool fuse_blown = false;
};

// The HAL macro ids the library sends for a G2xx (the index into the adapter's macro table).
namespace EzFetMacro {
inline constexpr std::uint16_t ZERO = 0x00;
inline constexpr std::uint16_t INIT = 0x01;
inline constexpr std::uint16_t SET_VCC = 0x02;
inline constexpr std::uint16_t GET_VCC = 0x03;
inline constexpr std::uint16_t START_JTAG = 0x04;
inline constexpr std::uint16_t STOP_JTAG = 0x06;
inline constexpr std::uint16_t CONFIGURE = 0x07;
inline constexpr std::uint16_t GET_FUSES = 0x08;
inline constexpr std::uint16_t BLOW_FUSE = 0x09;
inline constexpr std::uint16_t WAIT_FOR_EEM = 0x0A;
inline constexpr std::uint16_t BIT_SEQUENCE = 0x0B;
inline constexpr std::uint16_t GET_JTAG_ID = 0x0C;
inline constexpr std::uint16_t GET_INTERFACE_MODE = 0x10;
inline constexpr std::uint16_t GET_DEVICE_ID_PTR = 0x11;
inline constexpr std::uint16_t SYNC_POR_SAVE_CONTEXT = 0x12;
inline constexpr std::uint16_t SYNC_CONDITIONAL_SAVE_CONTEXT = 0x13;
inline constexpr std::uint16_t RESTORE_CONTEXT_RELEASE = 0x14;
inline constexpr std::uint16_t READ_MEM_BYTES = 0x15;
inline constexpr std::uint16_t READ_MEM_WORDS = 0x16;
inline constexpr std::uint16_t READ_MEM_QUICK = 0x17;
inline constexpr std::uint16_t WRITE_MEM_BYTES = 0x18;
inline constexpr std::uint16_t WRITE_MEM_WORDS = 0x19;
inline constexpr std::uint16_t EEM_DATA_EXCHANGE = 0x1A;
inline constexpr std::uint16_t READ_ALL_CPU_REGS = 0x1D;
inline constexpr std::uint16_t WRITE_ALL_CPU_REGS = 0x1E;
inline constexpr std::uint16_t PSA = 0x1F;
inline constexpr std::uint16_t EXECUTE_FUNCLET = 0x20;
inline constexpr std::uint16_t GET_DCO_FREQUENCY = 0x22;
inline constexpr std::uint16_t IS_JTAG_FUSE_BLOWN = 0x4C;
inline constexpr std::uint16_t RESET_STATIC_GLOBAL_VARS = 0x52;
}  // namespace EzFetMacro

// The id of a HAL macro above by the name the adapter's firmware gives it ("ExecuteFunclet",
// "Psa", "SyncJtag_AssertPor_SaveContext", ...; case does not matter), or -1.
int ez_fet_macro_id(const char* name);

class EzFet {
public:
    // The target holds the flash; the board runs it. Both must outlive the adapter. Until the
    // library takes the chip over JTAG, the board is left as it is (running or not).
    EzFet(Target& target, Board& board, const EzFetFaults& faults = {});
    ~EzFet();
    EzFet(const EzFet&) = delete;
    EzFet& operator=(const EzFet&) = delete;

    // Bytes from the host, in any slicing: a packet may arrive in pieces or several at once.
    // now_ns is the host time (the clock the board's advance_to runs on); commands that halt
    // or start the board take effect at that time.
    void receive(const std::uint8_t* bytes, std::size_t n, std::uint64_t now_ns);

    // The adapter's answers, at most capacity bytes; the rest stays for the next call.
    std::size_t take(std::uint8_t* out, std::size_t capacity);
    // Bytes waiting for take().
    std::size_t pending() const;

    // A fault has made the adapter stop answering.
    bool silent() const;
    // EXECUTE commands answered so far (the count silent_after_executes compares with).
    long executes() const;

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};
