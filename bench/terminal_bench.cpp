// Terminal figures through pseudo-terminals, for KESTO and, when it is installed, picocom on the
// very same harness: idle CPU, latency each way, throughput from the port to the console, and
// peak memory; then KESTO's reconnect: CPU while a lost port is waited for, and the time from
// the port's return to the first byte shown.
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
constexpr std::size_t THROUGHPUT_BYTES = 4u << 20;
constexpr int THROUGHPUT_ROUNDS = 5;

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

// One program under measurement: its console, its serial line and its figures.
struct Subject {
    const char* name;
    std::vector<std::string> command;
    std::string ready_text;
    bool port_first;
    SerialLine line;
    std::unique_ptr<Console> console;
    Figures figures;
    std::vector<long long> port_to_console;
    std::vector<long long> key_to_port;
    std::vector<double> throughput;
};

bool start(Subject& subject) {
    std::vector<std::string> command = subject.command;
    command.insert(subject.port_first ? command.begin() + 1 : command.end(), subject.line.path);
    const std::string program = command.front();
    command.erase(command.begin());
    subject.console = std::make_unique<Console>(program, command, "", false, winsize{50, 200, 0, 0});
    if (!subject.console->wait_for(subject.ready_text, 0, 10000)) {
        std::printf("%s did not start: %s\n", subject.name, without_titles(subject.console->text).c_str());
        return false;
    }
    subject.console->settle(300);
    subject.figures.ran = true;
    return true;
}

// One byte from the board until it shows on the console, and one key until it reaches the board.
void latency_round(Subject& subject, int round) {
    Console& console = *subject.console;
    const char byte = static_cast<char>('a' + round % 26);
    long long start_us = monotonic_us();
    subject.line.send(std::string(1, byte));
    if (read_until(console.master, byte, 2000)) subject.port_to_console.push_back(monotonic_us() - start_us);
    start_us = monotonic_us();
    console.type(std::string(1, byte));
    if (read_until(subject.line.master, byte, 2000)) subject.key_to_port.push_back(monotonic_us() - start_us);
}

// A long stream of text from the board, the console read as fast as it comes; MiB/s.
double throughput_round(Subject& subject) {
    Console& console = *subject.console;
    const int port = subject.line.master;
    std::string block(65536, 'x');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + i % 26);
    const int port_flags = fcntl(port, F_GETFL);
    fcntl(port, F_SETFL, port_flags | O_NONBLOCK);
    std::size_t sent = 0;
    std::size_t shown = 0;
    char chunk[65536];
    const long long start_us = monotonic_us();
    const long long give_up = start_us + 60'000'000LL;
    while (shown < THROUGHPUT_BYTES && monotonic_us() < give_up) {
        pollfd fds[2] = {{console.master, POLLIN, 0}, {port, sent < THROUGHPUT_BYTES ? short(POLLOUT) : short(0), 0}};
        if (poll(fds, 2, 1000) <= 0) continue;
        if (fds[1].revents & POLLOUT) {
            const ssize_t n = write(port, block.data(), std::min(block.size(), THROUGHPUT_BYTES - sent));
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(console.master, chunk, sizeof chunk);
            if (n > 0) shown += static_cast<std::size_t>(n);
        }
    }
    const double seconds = static_cast<double>(monotonic_us() - start_us) / 1e6;
    fcntl(port, F_SETFL, port_flags);
    if (shown < THROUGHPUT_BYTES) {
        std::printf("%s: only %zu of %zu bytes shown\n", subject.name, shown, THROUGHPUT_BYTES);
        subject.figures.ran = false;
    }
    return static_cast<double>(shown) / (1 << 20) / seconds;
}

// The programs take turns in every phase, so a busy moment on a shared machine falls on both.
void measure(std::vector<Subject*>& subjects) {
    std::vector<long long> cpu_before;
    std::vector<long long> switches_before;
    for (Subject* s : subjects) {
        cpu_before.push_back(cpu_ns(s->console->pid));
        switches_before.push_back(switches(s->console->pid));
    }
    usleep(IDLE_MS * 1000);
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        Figures& f = subjects[i]->figures;
        const pid_t pid = subjects[i]->console->pid;
        f.idle_cpu_percent = 100.0 * static_cast<double>(cpu_ns(pid) - cpu_before[i]) / (IDLE_MS * 1e6);
        f.idle_wakeups_per_s = static_cast<double>(switches(pid) - switches_before[i]) * 1000.0 / IDLE_MS;
    }
    for (int round = 0; round < LATENCY_ROUNDS; ++round) {
        for (Subject* s : subjects) latency_round(*s, round);
    }
    for (int round = 0; round < THROUGHPUT_ROUNDS; ++round) {
        for (Subject* s : subjects) s->throughput.push_back(throughput_round(*s));
    }
    for (Subject* s : subjects) {
        Figures& f = s->figures;
        f.port_to_console_us = median(s->port_to_console);
        f.key_to_port_us = median(s->key_to_port);
        std::sort(s->throughput.begin(), s->throughput.end());
        f.throughput_mib_s = s->throughput[s->throughput.size() / 2];
        f.peak_kib = static_cast<double>(status_field(s->console->pid, "VmHWM"));
        kill(s->console->pid, SIGTERM);
        s->console->wait_exit(5000);
    }
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

// The port unplugged (its name leads nowhere) and plugged in again under the same name, with a
// byte from the board already waiting: CPU and wake-ups while KESTO waits, and the time from the
// name's return to that byte on the console.
void reconnect_figures() {
    constexpr int ROUNDS = 20;
    Session session;
    if (!session.started()) {
        std::printf("KESTO did not start for the reconnect figures\n");
        return;
    }
    Console& console = *session.console;
    const pid_t pid = console.pid;
    std::vector<long long> back_us;
    double waiting_cpu_percent = 0;
    double waiting_wakeups_per_s = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        const std::size_t from = console.text.size();
        session.unplug();
        if (!console.wait_for("Port lost, waiting", from, 5000)) break;
        console.settle(50);
        if (round == 0) {
            const long long cpu = cpu_ns(pid);
            const long long woken = switches(pid);
            usleep(IDLE_MS * 1000);
            waiting_cpu_percent = 100.0 * static_cast<double>(cpu_ns(pid) - cpu) / (IDLE_MS * 1e6);
            waiting_wakeups_per_s = static_cast<double>(switches(pid) - woken) * 1000.0 / IDLE_MS;
        }
        auto line = std::make_unique<SerialLine>();
        char marker[16];
        std::snprintf(marker, sizeof marker, "<%d>", round);
        line->send(marker);
        session.line = std::move(line);
        const long long start_us = monotonic_us();
        session.repoint(session.line->path);
        if (!console.wait_for(marker, from, 5000)) break;
        back_us.push_back(monotonic_us() - start_us);
    }
    kill(console.pid, SIGTERM);
    console.wait_exit(5000);
    std::printf("\nReconnect: the port's name leads nowhere, then to a new line with a byte waiting; %d rounds\n\n",
                ROUNDS);
    if (back_us.size() != static_cast<std::size_t>(ROUNDS)) {
        std::printf("only %zu of %d rounds came through\n", back_us.size(), ROUNDS);
        return;
    }
    std::printf("%-34s %12.3f %-6s   (lower is better)\n", "CPU while waiting", waiting_cpu_percent, "%");
    std::printf("%-34s %12.3f %-6s   (lower is better)\n", "wake-ups while waiting", waiting_wakeups_per_s, "/s");
    std::printf("%-34s %12.3f %-6s   (lower is better)\n", "port back to byte shown, median",
                median(back_us) / 1000.0, "ms");
    std::printf("%-34s %12.3f %-6s   (lower is better)\n", "port back to byte shown, worst",
                static_cast<double>(*std::max_element(back_us.begin(), back_us.end())) / 1000.0, "ms");
}

// An unattended run ("-expect PASS -timeout 10"): the time from the board's writing the text to
// the end of the process, each round a run of its own.
void expect_figures() {
    constexpr int ROUNDS = 20;
    std::vector<long long> exit_us;
    for (int round = 0; round < ROUNDS; ++round) {
        Session session({"-expect", "PASS", "-timeout", "10"});
        if (!session.started()) break;
        session.console->settle(50);
        const long long start_us = monotonic_us();
        session.line->send("self-test: PASS\r");
        int status = 0;
        if (waitpid(session.console->pid, &status, 0) != session.console->pid) break;
        exit_us.push_back(monotonic_us() - start_us);
        session.console->ended = true;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) break;
    }
    std::printf("\nUnattended run: the expected text written by the board, until the process has ended; %d runs\n\n",
                ROUNDS);
    if (exit_us.size() != static_cast<std::size_t>(ROUNDS)) {
        std::printf("only %zu of %d runs came through\n", exit_us.size(), ROUNDS);
        return;
    }
    std::printf("%-34s %12.3f %-6s   (lower is better)\n", "text to exit, median", median(exit_us) / 1000.0, "ms");
    std::printf("%-34s %12.3f %-6s   (lower is better)\n", "text to exit, worst",
                static_cast<double>(*std::max_element(exit_us.begin(), exit_us.end())) / 1000.0, "ms");
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // KESTO takes the port as its first argument, picocom as its last.
    Subject kesto{"KESTO", {KESTO_BINARY, "-m", "-a", "0"}, "[F5]-Reset\r\n", true, {}, {}, {}, {}, {}, {}};

    const bool have_picocom = access("/usr/bin/picocom", X_OK) == 0;
    Subject picocom{"picocom",
                    {"/usr/bin/picocom", "--quiet", "--nolock", "--noreset", "--noinit", "-b", "19200"},
                    "", false, {}, {}, {}, {}, {}, {}};
    std::vector<Subject*> subjects;
    if (start(kesto)) subjects.push_back(&kesto);
    if (have_picocom && start(picocom)) subjects.push_back(&picocom);
    if (subjects.empty()) return 1;
    measure(subjects);

    std::printf("\nTerminal through pseudo-terminals: %d latency rounds, median of %d streams of %zu MiB, %d s idle\n\n",
                LATENCY_ROUNDS, THROUGHPUT_ROUNDS, THROUGHPUT_BYTES >> 20, IDLE_MS / 1000);
    const Figures& k = kesto.figures;
    const Figures& p = picocom.figures;
    if (have_picocom) {
        std::printf("%-34s %12s %-6s %12s %-6s %8s\n", "figure", "KESTO", "", "picocom", "", "ratio");
    } else {
        std::printf("%-34s %12s\n", "figure", "KESTO");
    }
    row("idle CPU", "%", k.idle_cpu_percent, p.idle_cpu_percent, have_picocom, "lower is better");
    row("idle wake-ups", "/s", k.idle_wakeups_per_s, p.idle_wakeups_per_s, have_picocom, "lower is better");
    row("port-to-console latency, median", "us", k.port_to_console_us, p.port_to_console_us, have_picocom,
        "lower is better");
    row("key-to-port latency, median", "us", k.key_to_port_us, p.key_to_port_us, have_picocom, "lower is better");
    row("throughput port to console", "MiB/s", k.throughput_mib_s, p.throughput_mib_s, have_picocom,
        "higher is better");
    row("peak memory (VmHWM)", "KiB", k.peak_kib, p.peak_kib, have_picocom, "lower is better");
    if (!have_picocom) {
        std::printf("\npicocom is not installed, so there is nothing to compare with; install it with\n"
                    "    sudo apt-get install picocom\nand run `make bench` again.\n");
    }
    reconnect_figures();
    expect_figures();
    return k.ran ? 0 : 1;
}
