// Programming-pass and start-up figures of the built program against the simulated adapter,
// beside mspdebug's simulator doing the same jobs when it is installed: wall time and peak memory,
// each the median of several runs.
#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int DEFAULT_RUNS = 9;
constexpr int RUN_DEADLINE_S = 60;
constexpr const char* PART = "SIM:F5438A";
// The part's main flash begins here; its 256 KiB reach up to 0x45BFF.
constexpr std::uint32_t FLASH_START = 0x5C00;
constexpr std::uint32_t BIG_IMAGE_BYTES = 240 * 1024;
// mspdebug's simulator has a 64 KiB address space: the flash below 0x10000 is all it can take.
constexpr std::uint32_t SHARED_IMAGE_BYTES = 0x10000 - FLASH_START;
constexpr const char* MSPDEBUG = "/usr/bin/mspdebug";

struct Command {
    std::vector<std::string> argv;  // argv[0] is the program's path
    const char* must_print;         // a text that shows the job was done; checked once
};

struct Figures {
    bool ran = false;
    double wall_ms = 0;
    double peak_kib = 0;
};

long long monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? 0 : samples[samples.size() / 2];
}

// Intel HEX, 32 data bytes a record, an extended linear address record wherever the upper
// 16 bits change. The bytes are pseudo-random so that nothing can be skipped as blank.
std::string intel_hex(std::uint32_t start, std::uint32_t length) {
    std::string text;
    auto record = [&text](std::uint32_t address, unsigned type, const std::vector<unsigned>& data) {
        std::vector<unsigned> bytes = {static_cast<unsigned>(data.size()), (address >> 8) & 0xFF, address & 0xFF,
                                       type};
        bytes.insert(bytes.end(), data.begin(), data.end());
        unsigned sum = 0;
        char hex[3];
        text += ':';
        for (unsigned byte : bytes) {
            sum += byte;
            std::snprintf(hex, sizeof hex, "%02X", byte);
            text += hex;
        }
        std::snprintf(hex, sizeof hex, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
        text += hex;
        text += '\n';
    };
    std::uint32_t seed = 12345;
    std::uint32_t upper = 0;
    for (std::uint32_t offset = 0; offset < length; offset += 32) {
        const std::uint32_t address = start + offset;
        if (address >> 16 != upper) {
            upper = address >> 16;
            record(0, 4, {upper >> 8, upper & 0xFF});
        }
        std::vector<unsigned> data;
        for (std::uint32_t i = offset; i < std::min(length, offset + 32); ++i) {
            seed = seed * 1103515245u + 12345u;
            data.push_back((seed >> 16) & 0xFF);
        }
        record(address & 0xFFFF, 0, data);
    }
    record(0, 1, {});
    return text;
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts the command in `folder` with standard input from /dev/null and its output into
// `output` (a file path). With `traced`, the child stops for the parent right after exec.
pid_t start(const Command& command, const std::string& folder, const std::string& output, bool traced) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || chdir(folder.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    alarm(RUN_DEADLINE_S);  // survives exec: a hung run is killed
    if (traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(125);
    std::vector<char*> argv;
    for (const std::string& word : command.argv) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// The process's own high-water mark of resident memory, in KiB (0 when it cannot be read).
long long vm_hwm_kib(pid_t pid) {
    std::istringstream lines(read_file("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6);
    return 0;
}

// Wall time of one untraced run, from fork to reaping; negative when the run failed.
double timed_run(const Command& command, const std::string& folder) {
    const long long begin = monotonic_ns();
    const pid_t pid = start(command, folder, "/dev/null", false);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    const long long end = monotonic_ns();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return static_cast<double>(end - begin) / 1e6;
}

// Peak memory of one run, read from the process itself as it exits. The rusage of a child is no
// good here: it starts from the high-water mark of the forking parent, which can be bigger than
// the whole run being measured. Returns 0 when the run failed or cannot be traced.
double traced_peak_kib(const Command& command, const std::string& folder, const std::string& output) {
    const pid_t pid = start(command, folder, output, true);
    if (pid < 0) return 0;
    long long peak = 0;
    int status = 0;
    bool options_set = false;
    while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
        int forward = 0;
        if (!options_set && WSTOPSIG(status) == SIGTRAP) {
            ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT));
            options_set = true;
        } else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
            peak = vm_hwm_kib(pid);
        } else {
            forward = WSTOPSIG(status);
        }
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(forward)));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
    return static_cast<double>(peak);
}

// One job run by one or two programs. Each program's first run is checked for `must_print` and
// gives the first memory figure. The timed runs take turns between the programs, so that a burst
// of load from elsewhere on the machine falls on both alike.
std::vector<Figures> measure(const std::vector<std::pair<const char*, const Command*>>& programs,
                             const std::string& folder, int runs) {
    const std::string output = folder + "/output.txt";
    std::vector<Figures> figures(programs.size());
    std::vector<std::vector<double>> walls(programs.size()), peaks(programs.size());
    for (std::size_t p = 0; p < programs.size(); ++p) {
        const auto& [name, command] = programs[p];
        peaks[p].push_back(traced_peak_kib(*command, folder, output));
        const std::string printed = read_file(output);
        if (peaks[p][0] <= 0 || printed.find(command->must_print) == std::string::npos) {
            std::printf("%s failed at `%s`; it printed:\n%s\n", name, command->argv.back().c_str(), printed.c_str());
            return figures;
        }
    }
    for (int i = 0; i < runs; ++i) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const double ms = timed_run(*programs[p].second, folder);
            if (ms < 0) {
                std::printf("%s failed in a timed run\n", programs[p].first);
                return figures;
            }
            walls[p].push_back(ms);
            if (static_cast<int>(peaks[p].size()) < std::min(runs, 3))
                peaks[p].push_back(traced_peak_kib(*programs[p].second, folder, output));
        }
    }
    for (std::size_t p = 0; p < programs.size(); ++p) {
        figures[p].wall_ms = median(walls[p]);
        figures[p].peak_kib = median(peaks[p]);
        figures[p].ran = figures[p].peak_kib > 0;
    }
    return figures;
}

// One line of the table: KESTO's command and, where mspdebug can do the same job, its command.
struct Job {
    std::string label;
    Command kesto;
    Command peer;  // no argv: mspdebug cannot do this job
};

void row(const std::string& label, const char* unit, int decimals, double kesto, double peer, bool peer_row) {
    std::printf("%-50s %10.*f %-4s", label.c_str(), decimals, kesto, unit);
    if (peer_row && peer > 0)
        std::printf(" %10.*f %-4s %8.2f", decimals, peer, unit, kesto / peer);
    else if (peer_row)
        std::printf(" %10s %-4s %8s", "-", "", "-");
    std::printf("\n");
}

std::string hex_number(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : DEFAULT_RUNS;
    char folder_template[] = "/tmp/kesto-pass-bench-XXXXXX";
    if (!mkdtemp(folder_template)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folder_template;
    if (!write_file(folder + "/big.hex", intel_hex(FLASH_START, BIG_IMAGE_BYTES)) ||
        !write_file(folder + "/shared.hex", intel_hex(FLASH_START, SHARED_IMAGE_BYTES))) {
        std::printf("cannot write the images under %s\n", folder.c_str());
        return 1;
    }

    // Image names are given relative to the run's folder, as the command line wants them.
    const std::vector<std::string> kesto_pass = {KESTO_BINARY, "-FET", PART, "-a", "0", "+epv"};
    auto kesto = [&kesto_pass](std::vector<std::string> tail, const char* must_print) {
        std::vector<std::string> argv = kesto_pass;
        argv.insert(argv.end(), tail.begin(), tail.end());
        return Command{argv, must_print};
    };
    const std::string shared_kib = std::to_string(SHARED_IMAGE_BYTES / 1024);
    const std::string peer_read_out =
        "hexout " + hex_number(FLASH_START) + " " + hex_number(SHARED_IMAGE_BYTES) + " out.hex";
    const std::vector<Job> jobs = {
        {"pass, 240 KiB image", kesto({"big.hex", "+r", "out.hex"}, "Read. Wait... -OK"), {}},
        {"pass, " + shared_kib + " KiB image", kesto({"shared.hex", "+r", "out.hex"}, "Read. Wait... -OK"),
         {{MSPDEBUG, "-n", "sim", "prog shared.hex", "verify shared.hex", peer_read_out}, "Reading "}},
        {"pass without read-out, " + shared_kib + " KiB image",
         kesto({"shared.hex"}, "Programm & Verify...wait... -OK"),
         {{MSPDEBUG, "-n", "sim", "prog shared.hex", "verify shared.hex"}, "Verifying "}},
        {"start-up to exit, -h -a 0", {{KESTO_BINARY, "-h", "-a", "0"}, "Usage:"}, {{MSPDEBUG, "--help"}, "Usage:"}},
        {"start-up to exit, -list", {{KESTO_BINARY, "-list"}, "MSP430F5438A"},
         {{MSPDEBUG, "--fet-list"}, "MSP430F5438A"}},
    };

    const bool have_mspdebug = access(MSPDEBUG, X_OK) == 0;
    std::vector<Figures> ours, theirs;
    bool all_ran = true;
    for (const Job& job : jobs) {
        const bool with_peer = have_mspdebug && !job.peer.argv.empty();
        std::vector<std::pair<const char*, const Command*>> programs = {{"KESTO", &job.kesto}};
        if (with_peer) programs.push_back({"mspdebug", &job.peer});
        const std::vector<Figures> figures = measure(programs, folder, runs);
        ours.push_back(figures[0]);
        theirs.push_back(with_peer ? figures[1] : Figures{});
        all_ran = all_ran && ours.back().ran && (!with_peer || theirs.back().ran);
    }

    std::printf("\nProgramming pass on the simulated %s (erase, program, verify, read out) and start-up;\n"
                "median of %d runs (peak memory: median of %d)\n\n",
                PART + 4, runs, std::min(runs, 3));
    if (have_mspdebug)
        std::printf("%-50s %15s %15s %8s\n", "figure", "KESTO", "mspdebug", "ratio");
    else
        std::printf("%-50s %15s\n", "figure", "KESTO");
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const bool peer_row = have_mspdebug && !jobs[i].peer.argv.empty();
        row(jobs[i].label + ", wall time", "ms", 2, ours[i].wall_ms, theirs[i].wall_ms, peer_row);
        row(jobs[i].label + ", peak memory", "KiB", 0, ours[i].peak_kib, theirs[i].peak_kib, peer_row);
    }

    std::printf("\nThe 240 KiB image fills %s..%s of the part's flash.\n", hex_number(FLASH_START).c_str(),
                hex_number(FLASH_START + BIG_IMAGE_BYTES - 1).c_str());
    if (have_mspdebug)
        std::printf("mspdebug's simulator has a 64 KiB address space, so it cannot take that image; the\n"
                    "%u-byte image (%s..0xFFFF) is the largest both take. mspdebug runs prog, verify and\n"
                    "hexout of the image's range, while KESTO reads out the part's whole 256 KiB flash, so\n"
                    "the row without the read-out compares the very same job. Start-up: mspdebug --help\n"
                    "and --fet-list. Ratio: KESTO's figure divided by mspdebug's (below 1: KESTO is faster\n"
                    "or smaller).\n",
                    SHARED_IMAGE_BYTES, hex_number(FLASH_START).c_str());
    else
        std::printf("\nmspdebug is not installed, so there is nothing to compare with; install it with\n"
                    "    sudo apt-get install mspdebug\nand run `make bench` again.\n");

    for (const char* name : {"big.hex", "shared.hex", "out.hex", "output.txt"}) unlink((folder + "/" + name).c_str());
    rmdir(folder.c_str());
    return all_ran ? 0 : 1;
}
