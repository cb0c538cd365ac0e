#include "app/launchpad_board.h"

#include <chrono>

#include "chip/sim_errors.h"

namespace {

// While the CPU runs, the board goes on in slices of this many milliseconds, as the SIM port's
// does: each slice costs the host a wake-up. A byte from either port still wakes it at once.
constexpr int ACTIVE_SLICE_MS = 5;
// A board asleep with only a far event due is looked at again after this long all the same.
constexpr std::uint64_t LONGEST_WAIT_NS = 60'000'000'000ull;
constexpr std::uint64_t NS_PER_MS = 1'000'000;

}  // namespace

std::uint64_t launchpad_clock_ns() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

LaunchpadBoard::LaunchpadBoard(const Part& part, const EzFetFaults& faults)
    : target_(part), fet_(target_, board_, faults) {
    board_.start(target_, launchpad_clock_ns());
}

int LaunchpadBoard::preload(const MemoryImage& image, std::string& why) {
    const int result = target_.program(image, why);
    if (result == SIM_OK) board_.start(target_, launchpad_clock_ns());
    return result;
}

void LaunchpadBoard::debug_received(const std::uint8_t* bytes, std::size_t n) {
    const std::uint64_t now = launchpad_clock_ns();
    board_.advance_to(now);
    fet_.receive(bytes, n, now);
}

std::size_t LaunchpadBoard::debug_take(std::uint8_t* out, std::size_t capacity) { return fet_.take(out, capacity); }

void LaunchpadBoard::uart_rate(std::uint32_t baud) {
    if (baud == host_baud_) return;
    host_baud_ = baud;
    board_.set_host_baud(baud);
}

void LaunchpadBoard::uart_received(const std::uint8_t* bytes, std::size_t n) {
    // The bytes start on the line now: what the board did up to this moment comes first.
    board_.advance_to(launchpad_clock_ns());
    board_.uart_send(bytes, n);
}

std::size_t LaunchpadBoard::uart_take(std::uint8_t* out, std::size_t capacity) { return board_.uart_take(out, capacity); }

int LaunchpadBoard::run() {
    const std::uint64_t now = launchpad_clock_ns();
    board_.advance_to(now);
    // Nobody is there to read the board's notes while a command owns the console.
    board_.take_notes();
    const std::uint64_t due = board_.next_due();
    if (due == BOARD_NEVER) return -1;
    if (due <= now) return ACTIVE_SLICE_MS;
    const std::uint64_t wait = due - now < LONGEST_WAIT_NS ? due - now : LONGEST_WAIT_NS;
    return static_cast<int>((wait + NS_PER_MS - 1) / NS_PER_MS);
}
