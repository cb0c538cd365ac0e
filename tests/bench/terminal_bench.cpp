// Terminal figures through pseudo-terminals, for KESTO and, when it is installed, picocom on the
// very same harness: idle CPU, latency each way, throughput from the port to the console, and
// peak memory.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/pty_harness.h"

namespace {

constexpr int LATENCY_ROUNDS = 300;
constexpr int IDLE_MS = 3000;
constexpr std::size_t THROUGHPUT_BYTES = 8u << 20;

struct Figures {
    bool ran = false;
    double idle_cpu_percent = 0;
    double idle_wakeups_per_s = 0;
    double port_to_console_us = 0;
    double key_to_port_us = 0;
    double throughput_mib_s = 0;
    double peak_kib = 0;
};

long long monotonic_us() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

std::string proc_file(pid_t pid, const char* name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Time the process has spent on a CPU, in nanoseconds.
long long cpu_ns(pid_t pid) {
    long long on_cpu = 0;
    std::istringstream(proc_file(pid, "schedstat")) >> on_cpu;
    return on_cpu;
}

long long status_field(pid_t pid, const std::string& field) {
    std::istringstream lines(proc_file(pid, "status"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atoll(line.c_str() + field.size() + 1);
    }
    return 0;
}

long long switches(pid_t pid) {
    return status_field(pid, "voluntary_ctxt_switches") + status_field(pid, "nonvoluntary_ctxt_switches");
}

// Reads the descriptor until `byte` shows up; false at the deadline.
bool read_until(int fd, char byte, int deadline_ms) {
    const long long end = monotonic_us() + deadline_ms * 1000LL;
    char chunk[65536];
    for (;;) {
        const long long left_ms = (end - monotonic_us()) / 1000;
        if (left_ms <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left_ms)) <= 0) continue;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) return false;
        if (std::memchr(chunk, byte, static_cast<std::size_t>(n))) return true;
    }
}

double median(std::vector<long long> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return static_cast<double>(samples[samples.size() / 2]);
}

Figures measure(const char* name, const std::vector<std::string>& command, const std::string& ready_text,
                SerialLine& line) {
    Figures figures;
    Console console(command, true);
    if (!console.wait_for(ready_text, 0, 10000)) {
        std::printf("%s did not start: %s\n", name, without_titles(console.text).c_str());
        return figures;
    }
    console.settle(300);

    // Idle: nothing comes from either side.
    const long long cpu_before = cpu_ns(console.pid);
    const long long switches_before = switches(console.pid);
    usleep(IDLE_MS * 1000);
    const long long idle_ns = cpu_ns(console.pid) - cpu_before;
    figures.idle_cpu_percent = 100.0 * static_cast<double>(idle_ns) / (IDLE_MS * 1e6);
    figures.idle_wakeups_per_s = static_cast<double>(switches(console.pid) - switches_before) * 1000.0 / IDLE_MS;

    // One byte from the board until it shows on the console.
    std::vector<long long> samples;
    for (int i = 0; i < LATENCY_ROUNDS; ++i) {
        const char byte = static_cast<char>('a' + i % 26);
        const long long start = monotonic_us();
        line.send(std::string(1, byte));
        if (!read_until(console.master, byte, 2000)) break;
        samples.push_back(monotonic_us() - start);
    }
    figures.port_to_console_us = median(samples);

    // One key until it reaches the board.
    samples.clear();
    for (int i = 0; i < LATENCY_ROUNDS; ++i) {
        const char byte = static_cast<char>('a' + i % 26);
        const long long start = monotonic_us();
        console.type(std::string(1, byte));
        if (!read_until(line.master, byte, 2000)) break;
        samples.push_back(monotonic_us() - start);
    }
    figures.key_to_port_us = median(samples);

    // A long stream of text from the board, the console read as fast as it comes.
    std::string block(65536, 'x');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + i % 26);
    const int port_flags = fcntl(line.master, F_GETFL);
    fcntl(line.master, F_SETFL, port_flags | O_NONBLOCK);
    std::size_t sent = 0;
    std::size_t shown = 0;
    char chunk[65536];
    const long long start = monotonic_us();
    const long long give_up = start + 60'000'000LL;
    while (shown < THROUGHPUT_BYTES && monotonic_us() < give_up) {
        pollfd fds[2] = {{console.master, POLLIN, 0}, {line.master, sent < THROUGHPUT_BYTES ? short(POLLOUT) : short(0), 0}};
        if (poll(fds, 2, 1000) <= 0) continue;
        if (fds[1].revents & POLLOUT) {
            const std::size_t want = std::min(block.size(), THROUGHPUT_BYTES - sent);
            const ssize_t n = write(line.master, block.data(), want);
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(console.master, chunk, sizeof chunk);
            if (n > 0) shown += static_cast<std::size_t>(n);
        }
    }
    const double seconds = static_cast<double>(monotonic_us() - start) / 1e6;
    fcntl(line.master, F_SETFL, port_flags);
    figures.throughput_mib_s = static_cast<double>(shown) / (1 << 20) / seconds;
    figures.peak_kib = static_cast<double>(status_field(console.pid, "VmHWM"));
    figures.ran = shown >= THROUGHPUT_BYTES;
    if (!figures.ran) std::printf("%s: only %zu of %zu bytes shown\n", name, shown, THROUGHPUT_BYTES);
    console.kill_with(SIGTERM);
    console.wait_exit(5000);
    return figures;
}

void row(const char* label, const char* unit, double kesto, double other, bool have_other, const char* better) {
    std::printf("%-34s %12.3f %-6s", label, kesto, unit);
    if (have_other && other > 0) {
        std::printf(" %12.3f %-6s %8.2f", other, unit, kesto / other);
    } else if (have_other) {
        std::printf(" %12.3f %-6s %8s", other, unit, "-");
    }
    std::printf("   (%s)\n", better);
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    SerialLine kesto_line;
    const Figures kesto = measure("KESTO", {KESTO_BINARY, kesto_line.path, "-m", "-a", "0"}, "[F5]-Reset\r\n",
                                  kesto_line);

    const bool have_picocom = access("/usr/bin/picocom", X_OK) == 0;
    Figures picocom;
    if (have_picocom) {
        SerialLine picocom_line;
        picocom = measure("picocom",
                          {"/usr/bin/picocom", "--quiet", "--nolock", "--noreset", "--noinit", "-b", "19200",
                           picocom_line.path},
                          "", picocom_line);
    }

    std::printf("\nTerminal through pseudo-terminals: %d latency rounds, %zu MiB streamed, %d s idle\n\n",
                LATENCY_ROUNDS, THROUGHPUT_BYTES >> 20, IDLE_MS / 1000);
    if (have_picocom) {
        std::printf("%-34s %12s %-6s %12s %-6s %8s\n", "figure", "KESTO", "", "picocom", "", "ratio");
    } else {
        std::printf("%-34s %12s\n", "figure", "KESTO");
    }
    row("idle CPU", "%", kesto.idle_cpu_percent, picocom.idle_cpu_percent, have_picocom, "lower is better");
    row("idle wake-ups", "/s", kesto.idle_wakeups_per_s, picocom.idle_wakeups_per_s, have_picocom, "lower is better");
    row("port-to-console latency, median", "us", kesto.port_to_console_us, picocom.port_to_console_us, have_picocom,
        "lower is better");
    row("key-to-port latency, median", "us", kesto.key_to_port_us, picocom.key_to_port_us, have_picocom,
        "lower is better");
    row("throughput port to console", "MiB/s", kesto.throughput_mib_s, picocom.throughput_mib_s, have_picocom,
        "higher is better");
    row("peak memory (VmHWM)", "KiB", kesto.peak_kib, picocom.peak_kib, have_picocom, "lower is better");
    if (!have_picocom) {
        std::printf("\npicocom is not installed, so there is nothing to compare with; install it with\n"
                    "    sudo apt-get install picocom\nand run `make bench` again.\n");
    }
    return kesto.ran ? 0 : 1;
}
