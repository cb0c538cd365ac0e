#include "terminal/sim_port.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/ascii_text.h"
#include "base/console.h"
#include "base/run_settings.h"
#include "chip/board.h"
#include "sim/sim_library.h"

namespace {

// While the CPU runs, the board goes on in slices of this many milliseconds: each costs the
// host a wake-up, which for a board that never sleeps costs more than the board itself at a
// shorter slice. A key still wakes the terminal at once; the board's bytes show at most this
// late, about five of them at 9600 baud.
constexpr int ACTIVE_SLICE_MS = 5;
// A board asleep with only a far event due is looked at again after this long all the same.
constexpr std::uint64_t LONGEST_WAIT_NS = 60'000'000'000ull;
constexpr std::uint64_t NS_PER_MS = 1'000'000;
// A UART more than this far from the host's rate sees only garbage, as on a real line.
constexpr double RATE_TOLERANCE = 0.05;

struct SimPort {
    Board* board = nullptr;
    std::uint32_t host_baud = 0;
    bool more = false;            // the last read filled its buffer: the UART may hold more
    std::uint32_t told_rate = 0;  // the board's rate last reported as not the host's
};

SimPort port;

bool rates_apart(std::uint32_t board, std::uint32_t host) {
    const double b = board, h = host;
    return b > h * (1 + RATE_TOLERANCE) || b < h * (1 - RATE_TOLERANCE);
}

// Nothing arrives from a board whose UART runs at another rate; one line tells why.
void tell_rate_mismatch() {
    const std::uint32_t rate = port.board->uart_baud();
    if (rate == 0 || !rates_apart(rate, port.host_baud)) {
        port.told_rate = 0;
        return;
    }
    if (rate == port.told_rate) return;
    port.told_rate = rate;
    std::printf("\nThe board's UART runs at %lu baud, not at %lu (-baud): nothing it sends arrives\n",
                static_cast<unsigned long>(rate), static_cast<unsigned long>(port.host_baud));
    std::fflush(stdout);
}

void show_notes() {
    for (const std::string& note : port.board->take_notes()) print_at_level(4, "%s\n", note.c_str());
}

}  // namespace

bool sim_port_named(const char* port_name) { return ascii_equal(port_name, SIM_PORT_NAME); }

void sim_port_open() {
    std::string why;
    port = SimPort{};
    port.board = simulated_board(settings.fet_port, why);
    if (port.board) return;
    print_at_level(1, "Can't open %s: it is the UART of the simulated %s board and needs -FET SIM or -FET SIM:G2553\n"
                   "  (%s)\n", SIM_PORT_NAME, BOARD_PART, why.c_str());
    exit_program(2);
}

bool sim_port_configure(long baud) {
    if (baud <= 0) return false;
    port.host_baud = static_cast<std::uint32_t>(baud);
    port.board->set_host_baud(port.host_baud);
    return true;
}

std::size_t sim_port_read(void* buffer, std::size_t n) {
    if (!port.board) return 0;
    const std::uint64_t now = board_clock_ns();
    power_up_simulated_board(now);
    port.board->advance_to(now);
    show_notes();
    tell_rate_mismatch();
    const std::size_t got = port.board->uart_take(static_cast<std::uint8_t*>(buffer), n);
    port.more = got == n;
    return got;
}

void sim_port_write(const void* bytes, std::size_t n) {
    if (!port.board) return;
    // The bytes start on the line now: what the board did up to this moment comes first.
    const std::uint64_t now = board_clock_ns();
    power_up_simulated_board(now);
    port.board->advance_to(now);
    port.board->uart_send(static_cast<const std::uint8_t*>(bytes), n);
}

void sim_port_close() { port = SimPort{}; }

int sim_port_wait_ms() {
    if (!port.board) return -1;
    if (port.more) return 0;
    const std::uint64_t now = board_clock_ns();
    power_up_simulated_board(now);
    const std::uint64_t due = port.board->next_due();
    if (due == BOARD_NEVER) return -1;
    if (due <= now) return ACTIVE_SLICE_MS;
    const std::uint64_t wait = due - now < LONGEST_WAIT_NS ? due - now : LONGEST_WAIT_NS;
    return static_cast<int>((wait + NS_PER_MS - 1) / NS_PER_MS);
}
