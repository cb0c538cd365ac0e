#include "chip/board.h"

#include <algorithm>
#include <set>

#include "base/error_text.h"
#include "chip/bus.h"
#include "chip/clock.h"
#include "chip/cpu.h"
#include "chip/ports.h"
#include "chip/sfr.h"
#include "chip/target.h"
#include "chip/timer_a.h"
#include "chip/usci_uart.h"
#include "chip/watchdog.h"

namespace {

// The interrupt vectors of the MSP430G2553, by index from 0xFFE0.
constexpr int PORT1_VECTOR = 2;
constexpr int PORT2_VECTOR = 3;
constexpr int USCI_TX_VECTOR = 6;
constexpr int USCI_RX_VECTOR = 7;
constexpr int TIMER0_TAIV_VECTOR = 8;
constexpr int TIMER0_CCR0_VECTOR = 9;
constexpr int WATCHDOG_VECTOR = 10;
constexpr int TIMER1_TAIV_VECTOR = 12;
constexpr int TIMER1_CCR0_VECTOR = 13;

// Addresses below this are byte registers, from it to 0x01FF word registers.
constexpr std::uint16_t WORD_MODULES = 0x0100;
constexpr std::uint16_t PERIPHERALS_END = 0x0200;
constexpr std::uint16_t FCTL1_ADDRESS = 0x0128;

// A span of board time the CPU runs or the peripherals jump in one go, so that rates times
// spans stay well inside 64 bits.
constexpr std::uint64_t LONGEST_STEP_NS = NS_PER_SECOND;

struct Unmodelled {
    std::uint16_t first, last;
    const char* name;
};
constexpr Unmodelled UNMODELLED[] = {
    {0x0010, 0x001B, "Port 3"},
    {0x0043, 0x0043, "Port 3"},
    {0x0048, 0x004B, "ADC10"},
    {0x01B0, 0x01BF, "ADC10"},
    {0x0059, 0x005B, "Comparator_A+"},
    {0x005D, 0x005F, "the auto baud rate and IrDA control of USCI_A0"},
    {0x0068, 0x006F, "USCI_B0"},
    {0x0118, 0x011B, "USCI_B0"},
    {0x0128, 0x012D, "the flash memory controller"},
};

const char* unmodelled_name(std::uint16_t address) {
    for (const Unmodelled& u : UNMODELLED) {
        if (address >= u.first && address <= u.last) return u.name;
    }
    return "this part of the peripheral address space";
}

}  // namespace

struct Board::Machine final : Bus {
    Cpu cpu{*this};
    Sfr sfr;
    BasicClock clock;
    Watchdog watchdog{sfr};
    TimerA timer0{TIMER0_A3};
    TimerA timer1{TIMER1_A3};
    Ports ports;
    UsciUart uart{sfr, ports};

    bool running = false;
    std::uint64_t origin_ns = 0;  // host time of the last start
    std::uint64_t now_ns = 0;     // board time since then, as far as the peripherals have run
    ClockRates rates;             // the clocks as the CPU's status left them at the last plan
    bool reset_pending = false;   // a PUC asked for while the CPU was inside an instruction

    // The CPU's batch: its cycles are board time counted from batch_ns at batch_mclk.
    bool in_batch = false;
    std::uint64_t batch_cycles = 0, batch_ns = 0, batch_phase = 0;
    std::uint32_t batch_mclk = 1;

    std::vector<std::string> notes;
    std::set<std::string> noted_modules;
    std::set<std::uint32_t> noted_rates;
    std::string noted_why;

    void start(const Target& target, std::uint64_t now);
    void power_on_reset();
    void puc();
    void note_unmodelled(std::uint16_t address) { note_unmodelled(address, unmodelled_name(address)); }
    void note_unmodelled(std::uint16_t address, const char* name);
    void collect_notes();

    std::uint64_t ns_to_event() const;
    void advance_peripherals(std::uint64_t dt_ns);
    void sync();
    bool cpu_wants_to_run();
    void run_to(std::uint64_t board_ns);

    std::uint8_t read8(std::uint16_t address);
    std::uint16_t read16(std::uint16_t address);
    void write8(std::uint16_t address, std::uint8_t value);
    void write16(std::uint16_t address, std::uint16_t value);

    std::uint16_t io_read(std::uint16_t address, bool byte) override;
    void io_write(std::uint16_t address, std::uint16_t value, bool byte) override;
    void rom_write(std::uint16_t address, std::uint16_t value, bool byte) override;
    int pending_interrupt(bool gie) override;
    void interrupt_accepted(int index) override;
};

void Board::Machine::start(const Target& target, std::uint64_t now) {
    const Part& part = target.part();
    std::fill(std::begin(memory), std::end(memory), std::uint8_t{0});
    std::fill(std::begin(pages), std::end(pages), Page::none);
    const auto map = [this](std::uint32_t first, std::uint32_t last, Page page) {
        if (first >= last) return;
        for (std::uint32_t p = first >> PAGE_SHIFT; p <= (std::min<std::uint32_t>(last, 0xFFFF) >> PAGE_SHIFT); ++p) {
            pages[p] = page;
        }
    };
    map(0, PERIPHERALS_END - 1, Page::io);
    map(part.ram_start, part.ram_end, Page::ram);
    map(part.info_start, part.info_end, Page::rom);
    map(part.flash_start, part.flash_end, Page::rom);
    for (std::uint32_t a = 0; a < 0x10000; ++a) {
        if (page_of(static_cast<std::uint16_t>(a)) != Page::rom) continue;
        const int byte = target.byte_at(a);
        memory[a] = static_cast<std::uint8_t>(byte < 0 ? 0xFF : byte);
    }
    origin_ns = now;
    now_ns = 0;
    running = true;
    // Each start runs the firmware anew, and what it does is worth telling anew.
    noted_modules.clear();
    noted_rates.clear();
    noted_why.clear();
    power_on_reset();
}

void Board::Machine::power_on_reset() {
    sfr.reset(true);
    clock.reset(true);
    watchdog.reset();
    timer0.reset();
    timer1.reset();
    ports.reset(true);
    uart.reset();
    reset_pending = false;
    batch_phase = 0;
    cpu.reset();
}

// What a PUC keeps: RAM, the timers, BCSCTL1, P1OUT/P2OUT and P1IES/P2IES, and the reset flags.
void Board::Machine::puc() {
    sfr.reset(false);
    clock.reset(false);
    watchdog.reset();
    ports.reset(false);
    uart.reset();
    reset_pending = false;
    batch_phase = 0;
    cpu.reset();
}

void Board::Machine::note_unmodelled(std::uint16_t address, const char* name) {
    if (!noted_modules.insert(name).second) return;
    notes.push_back(error_text("The virtual board does not model %s (first touched at 0x%04X): it reads as "
                               "zero and ignores writes",
                               name, address));
}

void Board::Machine::collect_notes() {
    if (cpu.held() && cpu.why() != noted_why) {
        noted_why = cpu.why();
        notes.push_back("The virtual board's CPU is held in reset: " + noted_why);
    }
    if (const std::uint32_t rate = uart.take_mismatch(); rate != 0 && noted_rates.insert(rate).second) {
        notes.push_back(error_text("The virtual board's UART runs at %u baud, more than 5%% away from the line's "
                                   "rate: nothing passes between them",
                                   static_cast<unsigned>(rate)));
    }
}

std::uint64_t Board::Machine::ns_to_event() const {
    return std::min({watchdog.ns_to_event(rates), timer0.ns_to_event(rates), timer1.ns_to_event(rates),
                     uart.ns_to_event(rates)});
}

void Board::Machine::advance_peripherals(std::uint64_t dt_ns) {
    while (dt_ns > 0) {
        const std::uint64_t step = std::min(dt_ns, LONGEST_STEP_NS);
        if (watchdog.advance(step, rates)) {
            if (in_batch) {
                reset_pending = true;
                stop_batch = true;
            } else {
                puc();
            }
        }
        timer0.advance(step, rates);
        timer1.advance(step, rates);
        uart.advance(step, rates);
        now_ns += step;
        dt_ns -= step;
    }
}

// Brings the peripherals up to the board time of the CPU's present cycle.
void Board::Machine::sync() {
    if (!in_batch) return;
    const std::uint64_t cpu_ns = batch_ns + ((cpu.cycles() - batch_cycles) * NS_PER_SECOND + batch_phase) / batch_mclk;
    if (cpu_ns > now_ns) advance_peripherals(cpu_ns - now_ns);
}

bool Board::Machine::cpu_wants_to_run() {
    if (cpu.held()) return false;
    return !cpu.sleeping() || pending_interrupt((cpu.status() & SR_GIE) != 0) >= 0;
}

void Board::Machine::run_to(std::uint64_t board_ns) {
    while (now_ns < board_ns) {
        if (reset_pending) puc();
        rates = clock.rates(cpu.status());
        const std::uint64_t event = ns_to_event();
        const std::uint64_t until =
            std::min({board_ns, now_ns + std::min(event, LONGEST_STEP_NS), now_ns + LONGEST_STEP_NS});
        if (cpu_wants_to_run()) {
            batch_mclk = std::max<std::uint32_t>(rates.mclk_hz, 1);
            const std::uint64_t span = (until - now_ns) * batch_mclk;
            const std::uint64_t budget = span > batch_phase ? (span - batch_phase + NS_PER_SECOND - 1) / NS_PER_SECOND : 1;
            batch_cycles = cpu.cycles();
            batch_ns = now_ns;
            in_batch = true;
            stop_batch = false;
            cpu.run(batch_cycles + std::max<std::uint64_t>(budget, 1));
            sync();
            in_batch = false;
            const std::uint64_t ran = cpu.cycles() - batch_cycles;
            if (ran > 0) {
                const std::uint64_t elapsed = ran * NS_PER_SECOND + batch_phase;
                batch_phase = elapsed % batch_mclk;
                // The instruction that ended the batch may end a little past the planned time.
                const std::uint64_t end = batch_ns + elapsed / batch_mclk;
                if (end > now_ns) advance_peripherals(end - now_ns);
                continue;
            }
            if (reset_pending || stop_batch) continue;
        }
        // Asleep or held: nothing happens until the next event.
        advance_peripherals(until - now_ns);
    }
}

std::uint8_t Board::Machine::read8(std::uint16_t address) {
    if (address <= IFG2_ADDRESS) {
        if (address == IFG1_ADDRESS && clock.lfxt1_fault()) sfr.ifg1 |= OFIFG;
        return sfr.at(address);
    }
    if (Ports::owns(address)) return ports.read(address);
    if (address == BCSCTL3_ADDRESS || (address >= DCOCTL_ADDRESS && address <= BCSCTL2_ADDRESS)) {
        return clock.read(address);
    }
    if (UsciUart::owns(address)) return uart.read(address);
    note_unmodelled(address);
    return 0;
}

std::uint16_t Board::Machine::read16(std::uint16_t address) {
    if (address == WDTCTL_ADDRESS) return watchdog.read();
    if (timer0.owns(address)) return timer0.read(address);
    if (timer1.owns(address)) return timer1.read(address);
    note_unmodelled(address);
    return 0;
}

void Board::Machine::write8(std::uint16_t address, std::uint8_t value) {
    if (address <= IFG2_ADDRESS) {
        sfr.at(address) = value;
    } else if (Ports::owns(address)) {
        ports.write(address, value);
    } else if (address == BCSCTL3_ADDRESS || (address >= DCOCTL_ADDRESS && address <= BCSCTL2_ADDRESS)) {
        clock.write(address, value);
        stop_batch = true;
    } else if (UsciUart::owns(address)) {
        uart.write(address, value);
        stop_batch = true;
    } else {
        note_unmodelled(address);
    }
}

void Board::Machine::write16(std::uint16_t address, std::uint16_t value) {
    if (timer0.owns(address)) {
        timer0.write(address, value);
    } else if (timer1.owns(address)) {
        timer1.write(address, value);
    } else if (address != WDTCTL_ADDRESS) {
        note_unmodelled(address);
        return;
    }
    stop_batch = true;
}

std::uint16_t Board::Machine::io_read(std::uint16_t address, bool byte) {
    sync();
    if (address >= WORD_MODULES) {
        // A word module read by byte: only the even address, high byte zero.
        if (byte) return (address & 1) ? 0 : static_cast<std::uint8_t>(read16(address));
        return read16(address);
    }
    if (byte) return read8(address);
    return static_cast<std::uint16_t>(read8(address) | read8(static_cast<std::uint16_t>(address + 1)) << 8);
}

void Board::Machine::io_write(std::uint16_t address, std::uint16_t value, bool byte) {
    sync();
    if (address == WDTCTL_ADDRESS || address == WDTCTL_ADDRESS + 1) {
        if (!watchdog.write(value, byte)) {
            // A write without the password resets the chip as a time-out does.
            sfr.ifg1 |= WDTIFG;
            reset_pending = true;
        }
        stop_batch = true;
        return;
    }
    if (address >= WORD_MODULES) {
        if (!byte) {
            write16(address, value);
        } else if ((address & 1) == 0) {
            write16(address, static_cast<std::uint8_t>(value));
        }
        return;
    }
    write8(address, static_cast<std::uint8_t>(value));
    if (!byte) write8(static_cast<std::uint16_t>(address + 1), static_cast<std::uint8_t>(value >> 8));
}

void Board::Machine::rom_write(std::uint16_t address, std::uint16_t, bool) {
    // Without the flash controller nothing may be written; the flash keeps what it holds.
    note_unmodelled(address, unmodelled_name(FCTL1_ADDRESS));
}

int Board::Machine::pending_interrupt(bool gie) {
    if (sfr.ifg1 & sfr.ie1 & (NMIIFG | OFIFG)) return NMI_VECTOR_INDEX;
    if (!gie) return -1;
    if (timer1.ccr0_pending()) return TIMER1_CCR0_VECTOR;
    if (timer1.taiv_pending()) return TIMER1_TAIV_VECTOR;
    if (watchdog.interval_mode() && (sfr.ifg1 & sfr.ie1 & WDTIFG)) return WATCHDOG_VECTOR;
    if (timer0.ccr0_pending()) return TIMER0_CCR0_VECTOR;
    if (timer0.taiv_pending()) return TIMER0_TAIV_VECTOR;
    if (sfr.ifg2 & sfr.ie2 & UCA0RXIFG) return USCI_RX_VECTOR;
    if (sfr.ifg2 & sfr.ie2 & UCA0TXIFG) return USCI_TX_VECTOR;
    if (ports.pending(2)) return PORT2_VECTOR;
    if (ports.pending(1)) return PORT1_VECTOR;
    return -1;
}

void Board::Machine::interrupt_accepted(int index) {
    switch (index) {
        case NMI_VECTOR_INDEX: sfr.ie1 &= ~(NMIIE | OFIE | ACCVIE); break;
        case TIMER1_CCR0_VECTOR: timer1.ccr0_accepted(); break;
        case TIMER0_CCR0_VECTOR: timer0.ccr0_accepted(); break;
        case WATCHDOG_VECTOR: sfr.ifg1 &= ~WDTIFG; break;
        default: break;
    }
    // The status register has changed, and with it which clocks run.
    stop_batch = true;
}

Board::Board() : machine_(new Machine) {}

Board::~Board() { delete machine_; }

void Board::start(const Target& target, std::uint64_t now_ns) {
    machine_->start(target, now_ns);
    machine_->collect_notes();
}

void Board::halt() { machine_->running = false; }

bool Board::running() const { return machine_->running; }

void Board::advance_to(std::uint64_t now_ns) {
    Machine& m = *machine_;
    if (!m.running || now_ns < m.origin_ns) return;
    m.run_to(now_ns - m.origin_ns);
    m.collect_notes();
}

std::uint64_t Board::next_due() const {
    Machine& m = *machine_;
    if (!m.running) return BOARD_NEVER;
    if (m.reset_pending || m.cpu_wants_to_run()) return m.origin_ns + m.now_ns;
    m.rates = m.clock.rates(m.cpu.status());
    const std::uint64_t event = m.ns_to_event();
    return event == NO_EVENT ? BOARD_NEVER : m.origin_ns + m.now_ns + event;
}

std::size_t Board::uart_take(std::uint8_t* out, std::size_t capacity) { return machine_->uart.host_take(out, capacity); }

void Board::uart_send(const std::uint8_t* bytes, std::size_t n) {
    if (machine_->running) machine_->uart.host_send(bytes, n);
}

void Board::set_host_baud(std::uint32_t host_baud) { machine_->uart.set_host_baud(host_baud); }

std::uint32_t Board::uart_baud() const {
    const Machine& m = *machine_;
    return m.running ? m.uart.baud(m.clock.rates(m.cpu.status())) : 0;
}

std::vector<std::string> Board::take_notes() {
    std::vector<std::string> out;
    out.swap(machine_->notes);
    return out;
}

std::uint16_t Board::debug_read(std::uint16_t address, bool byte) {
    Machine& m = *machine_;
    if (!byte) address &= 0xFFFE;
    switch (m.page_of(address)) {
        case Page::io: return m.io_read(address, byte);
        case Page::none: return 0;
        default: break;
    }
    if (byte) return m.memory[address];
    return static_cast<std::uint16_t>(m.memory[address] | m.memory[address + 1] << 8);
}

void Board::debug_write(std::uint16_t address, std::uint16_t value, bool byte) {
    Machine& m = *machine_;
    if (!byte) address &= 0xFFFE;
    const Page page = m.page_of(address);
    if (page == Page::io) {
        m.io_write(address, value, byte);
    } else if (page == Page::ram) {
        m.memory[address] = static_cast<std::uint8_t>(value);
        if (!byte) m.memory[address + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    m.collect_notes();
}

std::uint16_t Board::debug_register(int n) const { return machine_->cpu.reg[n & 15]; }

void Board::debug_set_register(int n, std::uint16_t value) { machine_->cpu.reg[n & 15] = value; }

void Board::debug_puc() { machine_->puc(); }

void Board::load_flash(const Target& target) {
    Machine& m = *machine_;
    for (std::uint32_t a = 0; a < 0x10000; ++a) {
        if (m.page_of(static_cast<std::uint16_t>(a)) != Page::rom) continue;
        const int byte = target.byte_at(a);
        m.memory[a] = static_cast<std::uint8_t>(byte < 0 ? 0xFF : byte);
    }
}

void Board::resume(std::uint64_t now_ns) {
    Machine& m = *machine_;
    m.origin_ns = now_ns >= m.now_ns ? now_ns - m.now_ns : 0;
    m.running = true;
}
