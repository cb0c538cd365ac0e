// What the virtual board costs its host, run in step with the wall clock as the terminal runs
// it: a board that sleeps between its timer interrupts (a LED turned twice a second, a line a
// second), which should cost under 0.5% of a core, and one whose CPU never sleeps at 16 MHz,
// under 10%. Each runs a few seconds. The figure is the processor time spent in the board's
// calls over the wall time; the whole process's share, with the host's own sleeping and waking
// every few milliseconds while the CPU runs, is given beside it.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

#include "image/image_file.h"
#include "chip/board.h"
#include "chip/parts.h"
#include "chip/target.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double RUN_SECONDS = 4;
// The longest the host sleeps while the CPU runs: the terminal's own pace.
constexpr auto HOST_SLICE = std::chrono::milliseconds(5);

std::uint64_t host_ns() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

struct Figures {
    double board = -1;    // share of a core in the board's calls; negative: no program to run
    double process = 0;   // share of a core of the whole process
    std::size_t bytes = 0;
};

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

Figures run(const char* name) {
    Figures f;
    const std::string path = std::string(KESTO_SIM_FIRMWARE) + "/" + name + ".elf";
    MemoryImage image;
    std::string error;
    if (read_image_file(path.c_str(), image, error) != IMAGE_OK) return f;
    Target target(*find_part("G2553"));
    if (target.program(image, error) != 0) return f;
    Board board;
    board.set_host_baud(9600);
    const double cpu_start = cpu_seconds();
    double in_board = 0;
    const std::uint64_t start = host_ns();
    board.start(target, start);
    const std::uint64_t end = start + static_cast<std::uint64_t>(RUN_SECONDS * 1e9);
    for (std::uint64_t now = start; now < end; now = host_ns()) {
        const double before = cpu_seconds();
        board.advance_to(now);
        std::uint8_t out[256];
        while (std::size_t n = board.uart_take(out, sizeof out)) f.bytes += n;
        const std::uint64_t due = std::min(board.next_due(), end);
        in_board += cpu_seconds() - before;
        if (due > now) std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
                           std::chrono::nanoseconds(due - now), std::chrono::milliseconds(100)));
        else std::this_thread::sleep_for(HOST_SLICE);
    }
    const double wall = static_cast<double>(host_ns() - start) / 1e9;
    f.board = in_board / wall;
    f.process = (cpu_seconds() - cpu_start) / wall;
    return f;
}

bool report(const char* what, const char* name, double limit) {
    const Figures f = run(name);
    if (f.board < 0) {
        std::printf("board: %s: skipped, the test programs were not built (no MSP430 clang)\n", what);
        return true;
    }
    std::printf("board: %s: %.2f%% of a core over %.0f s (under %.1f%% wanted; the whole process %.2f%%), %zu "
                "bytes from its UART\n",
                what, f.board * 100, RUN_SECONDS, limit * 100, f.process * 100, f.bytes);
    return f.board < limit;
}

}  // namespace

int main() {
    const bool sleeping = report("sleeping between blinks in LPM3", "sleeper", 0.005);
    const bool busy = report("never sleeping at 16 MHz", "busy", 0.10);
    return sleeping && busy ? 0 : 1;
}
