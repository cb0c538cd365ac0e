#include "chip/cpu.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr std::uint16_t FLAGS = SR_C | SR_Z | SR_N | SR_V;

// The addressing modes as the cycle tables group them. The constant generator's values cost
// what a register costs; #N costs what @Rn+ costs, and symbolic and absolute what indexed costs.
enum SourceClass { SRC_REG, SRC_INDIRECT, SRC_AUTOINC, SRC_INDEXED, SRC_ABSOLUTE };
enum DestClass { DST_REG, DST_PC, DST_MEMORY };

// Double-operand instructions, by source class and destination class.
constexpr std::uint8_t FORMAT_I_CYCLES[5][3] = {
    {1, 2, 4},  // Rn, #0 #1 #2 #4 #8 #-1
    {2, 2, 5},  // @Rn
    {2, 3, 5},  // @Rn+, #N
    {3, 3, 6},  // X(Rn), EDE
    {3, 3, 6},  // &EDE
};

// Single-operand instructions, by operand class: RRA/RRC/SWPB/SXT, PUSH, CALL.
constexpr std::uint8_t FORMAT_II_CYCLES[5][3] = {
    {1, 3, 4},  // Rn
    {3, 3, 4},  // @Rn
    {3, 3, 4},  // @Rn+, #N
    {4, 4, 5},  // X(Rn), EDE
    {4, 4, 6},  // &EDE
};

constexpr unsigned JUMP_CYCLES = 2;
constexpr unsigned RETI_CYCLES = 5;
constexpr unsigned INTERRUPT_CYCLES = 6;

// The interpreter's pieces are inlined into one loop, so that the batch below never leaves it and
// its registers and counters can stay in the host's registers.
#define CPU_INLINE [[gnu::always_inline]] inline

std::string address_line(const char* format, unsigned a, unsigned b = 0) {
    char line[96];
    std::snprintf(line, sizeof line, format, a, b);
    return line;
}

}  // namespace

// One batch of instructions. Registers, cycles and the interrupt bookkeeping live in locals of
// the batch, so that stores into the bus's memory (bytes, which may alias anything the compiler
// cannot see the whole of) do not force them back to memory after every instruction.
class CpuBatch {
public:
    CpuBatch(Cpu& cpu, Bus& bus, std::uint64_t cycles)
        : cpu_(cpu), bus_(bus), mem_(bus.memory), pages_(bus.pages), cyc_(cycles) {
        std::memcpy(r_, cpu.reg, sizeof r_);
        r_[3] = 0;
        pc_ = r_[0];
        irq_check_ = cpu.interrupt_after_next_ ? 2 : 1;
    }

    // Why a batch ends: its end was reached (or the CPU sleeps, or the bus asked), or the CPU
    // must be held for what it met at fault_.
    enum Stop { DONE, NO_MEMORY, ILLEGAL, BLANK_VECTOR };
    CPU_INLINE Stop run(std::uint64_t until);
    std::uint16_t fault() const { return fault_; }

    // The line that tells why the CPU is held after `stop`.
    std::string reason(Stop stop) const {
        switch (stop) {
        case NO_MEMORY: return address_line("fetch from 0x%04X, where there is no memory", fault_);
        case ILLEGAL: return address_line("illegal instruction 0x%04X at 0x%04X", fault_op_, fault_);
        case BLANK_VECTOR: return address_line("interrupt vector 0x%04X is blank", fault_);
        default: return {};
        }
    }

    void store(std::uint64_t& cycles) {
        cpu_.interrupt_after_next_ = irq_check_ == 2;
        r_[0] = pc_;
        std::memcpy(cpu_.reg, r_, sizeof r_);
        cycles = cyc_;
    }

private:
    // What an operand is: a value, and where a result would go back to.
    enum Where { IN_REGISTER, IN_MEMORY, CONSTANT };

    CPU_INLINE bool readable(std::uint16_t a) const {
        Page p = pages_[a >> PAGE_SHIFT];
        return p == Page::ram || p == Page::rom;
    }
    CPU_INLINE std::uint16_t load_word(std::uint16_t a) const {
        if constexpr (std::endian::native == std::endian::little) {
            std::uint16_t word;
            std::memcpy(&word, mem_ + a, 2);
            return word;
        }
        return static_cast<std::uint16_t>(mem_[a] | mem_[a + 1] << 8);
    }

    // The peripherals see the registers and the cycle count as they stand.
    CPU_INLINE void sync() {
        r_[0] = pc_;
        std::memcpy(cpu_.reg, r_, sizeof r_);
        cpu_.cycles_ = cyc_;
    }
    // An io access may raise or clear a request, or ask to end the batch.
    CPU_INLINE void after_io() {
        limit_ = 0;
        if (irq_check_ == 0) irq_check_ = 1;
    }

    CPU_INLINE std::uint16_t read(std::uint16_t a, bool byte) {
        if (!byte) a &= 0xFFFE;
        if (readable(a)) [[likely]]
            return byte ? mem_[a] : load_word(a);
        if (pages_[a >> PAGE_SHIFT] != Page::io) return 0;
        sync();
        std::uint16_t v = bus_.io_read(a, byte);
        after_io();
        return byte ? v & 0xFF : v;
    }

    CPU_INLINE void write(std::uint16_t a, std::uint16_t v, bool byte) {
        if (!byte) a &= 0xFFFE;
        Page p = pages_[a >> PAGE_SHIFT];
        if (p == Page::ram) [[likely]] {
            mem_[a] = static_cast<std::uint8_t>(v);
            if (!byte) mem_[a + 1] = static_cast<std::uint8_t>(v >> 8);
            return;
        }
        if (p == Page::none) return;
        sync();
        if (p == Page::io)
            bus_.io_write(a, byte ? v & 0xFF : v, byte);
        else
            bus_.rom_write(a, byte ? v & 0xFF : v, byte);
        after_io();
    }

    // The word at PC, PC past it; false when there is nothing to fetch there.
    CPU_INLINE bool fetch(std::uint16_t& word) {
        std::uint16_t pc = pc_;
        if (!readable(pc)) [[unlikely]] {
            fetch_failed_ = true;
            fault_ = pc;
            return false;
        }
        word = load_word(pc);
        pc_ = static_cast<std::uint16_t>(pc + 2);
        return true;
    }

    CPU_INLINE void set_register(unsigned n, std::uint16_t v) {
        if (n >= 4) [[likely]] {
            r_[n] = v;
            return;
        }
        switch (n) {
        case 0: pc_ = v & 0xFFFE; break;
        case 1: r_[1] = v & 0xFFFE; break;
        case 2:
            r_[2] = v;
            // GIE or a low-power bit may have changed: look again after the next instruction,
            // which always runs after an interrupt enable.
            limit_ = 0;
            irq_check_ = 2;
            break;
        default: break;  // R3 reads as the constant it generates
        }
    }

    // PC lives apart from the others: every instruction moves it.
    CPU_INLINE std::uint16_t reg(unsigned n) const { return n == 0 ? pc_ : r_[n]; }
    CPU_INLINE void set_raw(unsigned n, std::uint16_t v) {
        if (n == 0)
            pc_ = v;
        else
            r_[n] = v;
    }

    CPU_INLINE void set_flags(std::uint16_t flags) { r_[2] = static_cast<std::uint16_t>((r_[2] & ~FLAGS) | flags); }

    CPU_INLINE void push(std::uint16_t v, bool byte = false) {
        r_[1] = static_cast<std::uint16_t>(r_[1] - 2);
        write(r_[1], v, byte);
    }
    CPU_INLINE std::uint16_t pop() {
        std::uint16_t v = read(r_[1], false);
        r_[1] = static_cast<std::uint16_t>(r_[1] + 2);
        return v;
    }

    enum Taken { NOTHING, TAKEN, VECTOR_BLANK };
    CPU_INLINE Taken take_interrupt();
    template <unsigned OPCODE>
    CPU_INLINE bool format_i_forms(std::uint16_t op);
    template <unsigned OPCODE, bool INDEXED_DST, bool BYTE, unsigned AS>
    CPU_INLINE bool format_i(std::uint16_t op);
    CPU_INLINE bool format_ii(std::uint16_t op);
    CPU_INLINE void jump(std::uint16_t op);

    Cpu& cpu_;
    Bus& bus_;
    std::uint8_t* const mem_;
    const Page* const pages_;
    std::uint16_t r_[16];
    std::uint16_t pc_;
    std::uint64_t cyc_;
    // The batch ends at this cycle count; 0 while something beyond the next instruction needs
    // looking at first: a request, sleep, a stop.
    std::uint64_t limit_ = 0;
    // 0: no need to ask the bus for requests; 1: before the next instruction; 2: after it.
    int irq_check_;
    std::uint16_t fault_ = 0;
    std::uint16_t fault_op_ = 0;
    bool fetch_failed_ = false;
};

CpuBatch::Stop CpuBatch::run(std::uint64_t until) {
    for (;;) {
        // One comparison per instruction stands for both the end of the batch and attention.
        if (cyc_ >= limit_) [[unlikely]] {
            if (cyc_ >= until) break;
            limit_ = until;
            if (bus_.stop_batch) {
                bus_.stop_batch = false;
                break;
            }
            bool asleep = (r_[2] & SR_CPUOFF) != 0;
            if (irq_check_ != 0) {
                if (--irq_check_ == 0 || asleep) {
                    irq_check_ = 0;
                    Taken taken = take_interrupt();
                    if (taken == VECTOR_BLANK) return BLANK_VECTOR;
                    if (taken == TAKEN) continue;  // the batch may end after it
                } else {
                    limit_ = 0;
                }
            }
            if (asleep) break;
        }

        std::uint16_t at = pc_;
        std::uint16_t op;
        if (!fetch(op)) return NO_MEMORY;
        bool ok;
        switch (op >> 12) {
        case 0: ok = false; break;
        case 1: ok = format_ii(op); break;
        case 2:
        case 3:
            jump(op);
            ok = true;
            break;
        case 0x4: ok = format_i_forms<0x4>(op); break;
        case 0x5: ok = format_i_forms<0x5>(op); break;
        case 0x6: ok = format_i_forms<0x6>(op); break;
        case 0x7: ok = format_i_forms<0x7>(op); break;
        case 0x8: ok = format_i_forms<0x8>(op); break;
        case 0x9: ok = format_i_forms<0x9>(op); break;
        case 0xA: ok = format_i_forms<0xA>(op); break;
        case 0xB: ok = format_i_forms<0xB>(op); break;
        case 0xC: ok = format_i_forms<0xC>(op); break;
        case 0xD: ok = format_i_forms<0xD>(op); break;
        case 0xE: ok = format_i_forms<0xE>(op); break;
        default: ok = format_i_forms<0xF>(op); break;
        }
        if (!ok) [[unlikely]] {
            // Held at the instruction, whether it is none or an extension word was missing.
            pc_ = at;
            if (fetch_failed_) return NO_MEMORY;
            fault_ = at;
            fault_op_ = op;
            return ILLEGAL;
        }
    }
    return DONE;
}

CpuBatch::Taken CpuBatch::take_interrupt() {
    sync();
    int index = bus_.pending_interrupt((r_[2] & SR_GIE) != 0);
    if (index < 0) return NOTHING;
    push(pc_);
    push(r_[2]);
    r_[2] &= SR_SCG0;
    bus_.interrupt_accepted(index);
    std::uint16_t vector = static_cast<std::uint16_t>(VECTOR_TABLE + 2 * index);
    std::uint16_t target = read(vector, false);
    cyc_ += INTERRUPT_CYCLES;
    if (target == 0xFFFF) {
        fault_ = vector;
        return VECTOR_BLANK;
    }
    pc_ = target & 0xFFFE;
    // Only a non-maskable request can follow now; it is asked for before the next instruction.
    after_io();
    return TAKEN;
}

void CpuBatch::jump(std::uint16_t op) {
    // Bit f of each mask is set when the flags f (C 1, Z 2, N 4, V 8) take the jump, so that
    // a condition costs a look-up and one bit test.
    static constexpr std::uint16_t TAKEN[8] = {
        0x3333,  // JNE: Z clear
        0xCCCC,  // JEQ: Z set
        0x5555,  // JNC: C clear
        0xAAAA,  // JC: C set
        0xF0F0,  // JN: N set
        0xF00F,  // JGE: N equals V
        0x0FF0,  // JL: N differs from V
        0xFFFF,  // JMP
    };
    std::uint16_t sr = r_[2];
    unsigned flags = (sr & (SR_C | SR_Z | SR_N)) | ((sr & SR_V) >> 5);
    if ((TAKEN[(op >> 10) & 7] >> flags) & 1) {
        // The signed 10-bit word offset, doubled: its sign bit moved to the top and back.
        pc_ = static_cast<std::uint16_t>(pc_ + (static_cast<std::int16_t>(op << 6) >> 5));
    }
    cyc_ += JUMP_CYCLES;
}

// Each double-operand instruction in each of the sixteen forms that bits 7 to 4 give (indexed
// destination, byte, source mode) is a straight line of its own.
template <unsigned OPCODE>
bool CpuBatch::format_i_forms(std::uint16_t op) {
    switch ((op >> 4) & 15) {
    case 0x0: return format_i<OPCODE, false, false, 0>(op);
    case 0x1: return format_i<OPCODE, false, false, 1>(op);
    case 0x2: return format_i<OPCODE, false, false, 2>(op);
    case 0x3: return format_i<OPCODE, false, false, 3>(op);
    case 0x4: return format_i<OPCODE, false, true, 0>(op);
    case 0x5: return format_i<OPCODE, false, true, 1>(op);
    case 0x6: return format_i<OPCODE, false, true, 2>(op);
    case 0x7: return format_i<OPCODE, false, true, 3>(op);
    case 0x8: return format_i<OPCODE, true, false, 0>(op);
    case 0x9: return format_i<OPCODE, true, false, 1>(op);
    case 0xA: return format_i<OPCODE, true, false, 2>(op);
    case 0xB: return format_i<OPCODE, true, false, 3>(op);
    case 0xC: return format_i<OPCODE, true, true, 0>(op);
    case 0xD: return format_i<OPCODE, true, true, 1>(op);
    case 0xE: return format_i<OPCODE, true, true, 2>(op);
    default: return format_i<OPCODE, true, true, 3>(op);
    }
}

template <unsigned OPCODE, bool INDEXED_DST, bool BYTE, unsigned AS>
bool CpuBatch::format_i(std::uint16_t op) {
    const unsigned sreg = (op >> 8) & 15, dreg = op & 15;
    constexpr std::uint16_t mask = BYTE ? 0xFF : 0xFFFF;
    constexpr std::uint16_t msb = BYTE ? 0x80 : 0x8000;

    std::uint16_t src;
    SourceClass sclass = SRC_REG;
    if constexpr (AS == 0) {
        src = reg(sreg);
    } else if constexpr (AS == 1) {
        if (sreg == 3) {
            src = 1;
        } else {
            std::uint16_t base = sreg == 2 ? 0 : reg(sreg);
            std::uint16_t x;
            if (!fetch(x)) return false;
            src = read(static_cast<std::uint16_t>(base + x), BYTE);
            sclass = sreg == 2 ? SRC_ABSOLUTE : SRC_INDEXED;
        }
    } else if constexpr (AS == 2) {
        if (sreg == 2) {
            src = 4;
        } else if (sreg == 3) {
            src = 2;
        } else {
            src = read(reg(sreg), BYTE);
            sclass = SRC_INDIRECT;
        }
    } else {
        if (sreg == 2) {
            src = 8;
        } else if (sreg == 3) {
            src = 0xFFFF;
        } else if (sreg == 0) {
            if (!fetch(src)) return false;
            sclass = SRC_AUTOINC;
        } else {
            std::uint16_t a = r_[sreg];
            r_[sreg] = static_cast<std::uint16_t>(a + (BYTE && sreg != 1 ? 1 : 2));
            src = read(a, BYTE);
            sclass = SRC_AUTOINC;
        }
    }
    src &= mask;

    constexpr unsigned opcode = OPCODE;
    std::uint16_t dst = 0;
    std::uint16_t daddr = 0;
    DestClass dclass;
    if constexpr (!INDEXED_DST) {
        dst = reg(dreg) & mask;
        dclass = dreg == 0 ? DST_PC : DST_REG;
    } else {
        std::uint16_t base = dreg == 2 ? 0 : reg(dreg);
        std::uint16_t x;
        if (!fetch(x)) return false;
        daddr = static_cast<std::uint16_t>(base + x);
        if (opcode != 0x4) dst = read(daddr, BYTE);
        dclass = DST_MEMORY;
    }

    auto zn = [](std::uint16_t result) -> std::uint16_t {
        return static_cast<std::uint16_t>((result == 0 ? SR_Z : 0) | ((result & msb) ? SR_N : 0));
    };
    std::uint16_t result;
    bool store = true;
    switch (opcode) {
    case 0x4: result = src; break;  // MOV
    case 0x5:  // ADD
    case 0x6:  // ADDC
    case 0x7:  // SUBC
    case 0x8:  // SUB
    case 0x9: {  // CMP
        // Subtraction is the addition of the complement, its carry the absence of a borrow.
        bool subtract = opcode >= 0x7;
        std::uint32_t s = subtract ? (~src & mask) : src;
        std::uint32_t carry_in = (opcode == 0x6 || opcode == 0x7) ? (r_[2] & SR_C) : subtract;
        std::uint32_t sum = dst + s + carry_in;
        result = static_cast<std::uint16_t>(sum & mask);
        set_flags(static_cast<std::uint16_t>(zn(result) | (sum > mask ? SR_C : 0) |
                                             ((~(dst ^ s) & (dst ^ result) & msb) ? SR_V : 0)));
        store = opcode != 0x9;
        break;
    }
    case 0xA: {  // DADD
        unsigned carry = r_[2] & SR_C;
        result = 0;
        for (unsigned shift = 0; shift < (BYTE ? 8 : 16); shift += 4) {
            unsigned digit = ((src >> shift) & 15) + ((dst >> shift) & 15) + carry;
            carry = digit > 9;
            if (carry) digit -= 10;
            result = static_cast<std::uint16_t>(result | (digit & 15) << shift);
        }
        set_flags(static_cast<std::uint16_t>(zn(result) | (carry ? SR_C : 0)));
        break;
    }
    case 0xB:  // BIT
    case 0xF:  // AND
    case 0xE: {  // XOR
        result = opcode == 0xE ? src ^ dst : src & dst;
        set_flags(static_cast<std::uint16_t>(zn(result) | (result != 0 ? SR_C : 0) |
                                             (opcode == 0xE && (src & dst & msb) ? SR_V : 0)));
        store = opcode != 0xB;
        break;
    }
    case 0xC: result = dst & ~src; break;  // BIC
    default: result = dst | src; break;  // BIS
    }

    if (store) {
        if constexpr (INDEXED_DST)
            write(daddr, result, BYTE);
        else
            set_register(dreg, result);
    }
    cyc_ += FORMAT_I_CYCLES[sclass][dclass];
    return true;
}

bool CpuBatch::format_ii(std::uint16_t op) {
    const unsigned opcode = (op >> 7) & 7, n = op & 15;
    const bool byte = (op & 0x40) != 0;
    // 0x1400 and up are the extended CPU's PUSHM, POPM and CALLA; 0x1380 is no instruction;
    // SWPB, SXT and CALL have no byte form.
    if ((op & 0x0C00) || opcode == 7) return false;
    if (byte && (opcode == 1 || opcode == 3 || opcode == 5)) return false;
    if (opcode == 6) {  // RETI
        if (op != 0x1300) return false;
        std::uint16_t sr = pop();
        std::uint16_t pc = pop();
        r_[2] = sr;
        pc_ = pc & 0xFFFE;
        limit_ = 0;
        irq_check_ = 1;
        cyc_ += RETI_CYCLES;
        return true;
    }

    const std::uint16_t mask = byte ? 0xFF : 0xFFFF;
    std::uint16_t v;
    std::uint16_t addr = 0;
    Where where = IN_MEMORY;
    SourceClass oclass = SRC_REG;
    switch ((op >> 4) & 3) {
    case 0:
        v = reg(n);
        where = IN_REGISTER;
        break;
    case 1:
        if (n == 3) {
            v = 1;
            where = CONSTANT;
        } else {
            std::uint16_t base = n == 2 ? 0 : reg(n);
            std::uint16_t x;
            if (!fetch(x)) return false;
            addr = static_cast<std::uint16_t>(base + x);
            v = read(addr, byte);
            oclass = n == 2 ? SRC_ABSOLUTE : SRC_INDEXED;
        }
        break;
    case 2:
        if (n == 2 || n == 3) {
            v = n == 2 ? 4 : 2;
            where = CONSTANT;
        } else {
            addr = reg(n);
            v = read(addr, byte);
            oclass = SRC_INDIRECT;
        }
        break;
    default:
        if (n == 2 || n == 3) {
            v = n == 2 ? 8 : 0xFFFF;
            where = CONSTANT;
        } else {
            addr = reg(n);
            set_raw(n, static_cast<std::uint16_t>(addr + (byte && n >= 4 ? 1 : 2)));
            v = read(addr, byte);
            oclass = SRC_AUTOINC;
        }
        break;
    }
    v &= mask;

    const std::uint16_t msb = byte ? 0x80 : 0x8000;
    std::uint16_t result;
    switch (opcode) {
    case 0:  // RRC
    case 2: {  // RRA
        std::uint16_t top = opcode == 0 ? ((r_[2] & SR_C) ? msb : 0) : (v & msb);
        result = static_cast<std::uint16_t>((v >> 1) | top);
        std::uint16_t flags = (v & 1) ? SR_C : 0;
        if (result == 0) flags |= SR_Z;
        if (result & msb) flags |= SR_N;
        set_flags(flags);
        break;
    }
    case 1: result = static_cast<std::uint16_t>(v << 8 | v >> 8); break;  // SWPB
    case 3: {  // SXT
        result = static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<std::int8_t>(v & 0xFF)));
        std::uint16_t flags = result == 0 ? SR_Z : SR_C;
        if (result & 0x8000) flags |= SR_N;
        set_flags(flags);
        break;
    }
    case 4:  // PUSH
        push(v, byte);
        cyc_ += FORMAT_II_CYCLES[oclass][1];
        return true;
    default:  // CALL
        push(pc_);
        pc_ = v & 0xFFFE;
        cyc_ += FORMAT_II_CYCLES[oclass][2];
        return true;
    }

    if (where == IN_REGISTER)
        set_register(n, result);
    else if (where == IN_MEMORY)
        write(addr, result, byte);
    cyc_ += FORMAT_II_CYCLES[oclass][0];
    return true;
}

Cpu::Cpu(Bus& bus) : bus_(bus) {}

void Cpu::reset() {
    for (auto& r : reg) r = 0;
    interrupt_after_next_ = false;
    bus_.stop_batch = false;
    std::uint16_t vector = static_cast<std::uint16_t>(bus_.memory[0xFFFE] | bus_.memory[0xFFFF] << 8);
    Page vector_page = bus_.page_of(0xFFFE);
    if (vector_page != Page::rom && vector_page != Page::ram) vector = 0xFFFF;
    Page target_page = bus_.page_of(vector);
    if (vector == 0xFFFF) {
        hold("the reset vector is blank (0xFFFF)");
    } else if (target_page != Page::rom && target_page != Page::ram) {
        hold(address_line("the reset vector points at 0x%04X, where there is no memory", vector));
    } else {
        reg[0] = vector & 0xFFFE;
        held_ = false;
        why_.clear();
    }
}

void Cpu::hold(std::string why) {
    held_ = true;
    why_ = std::move(why);
}

void Cpu::run(std::uint64_t until) {
    if (held_) return;
    CpuBatch batch(*this, bus_, cycles_);
    CpuBatch::Stop stop = batch.run(until);
    batch.store(cycles_);
    // A fetch from the peripheral registers is a PUC on the chip; from where nothing is, it holds.
    if (stop == CpuBatch::NO_MEMORY && bus_.page_of(batch.fault()) == Page::io) {
        bus_.peripheral_fetch(batch.fault());
    } else if (stop != CpuBatch::DONE) {
        hold(batch.reason(stop));
    }
}
