// The whole programming pass (erase, blank check, program and verify the example) through the
// chip maker's own library on the virtual LaunchPad (kesto-board, the emulated eZ-FET), beside
// the same pass on the built-in simulated adapter: the median wall time of several runs each.
// The real library comes from the build (configured with KESTO_VENDOR_SOURCE), from beside
// build/kesto (make vendor-library), or from KESTO_REAL_LIBRARY in the environment.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int RUNS = 7;

double now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The wall time of one run with its output discarded, or a negative number when it failed.
double timed(const std::vector<std::string>& args, const std::string& folder) {
    std::fflush(stdout);  // a child must not write out what the parent has buffered
    const double start = now_ms();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(126);
        std::FILE* null = std::freopen("/dev/null", "w", stdout);
        if (!null || !std::freopen("/dev/null", "r", stdin)) _exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    const double took = now_ms() - start;
    return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == (0x4000 & 0xFF)) ? took : -1;
}

double median_of_runs(const std::vector<std::string>& args, const std::string& folder) {
    std::vector<double> samples;
    for (int i = 0; i < RUNS; ++i) {
        const double ms = timed(args, folder);
        if (ms < 0) return -1;
        samples.push_back(ms);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::string real_library() {
    const char* from_environment = std::getenv("KESTO_REAL_LIBRARY");
    for (const std::string& candidate :
         {std::string(KESTO_REAL_LIBRARY), fs::path(KESTO_BINARY).parent_path().string() + "/libmsp430.so",
          std::string(from_environment ? from_environment : "")})
        if (!candidate.empty() && fs::exists(candidate)) return fs::absolute(candidate).string();
    return "";
}

}  // namespace

int main() {
    const std::string library = real_library();
    const fs::path folder = fs::temp_directory_path() / ("kesto-launchpad-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string kesto = (folder / "kesto").string(), image = (folder / "blink.hex").string();
    fs::copy_file(KESTO_BINARY, kesto);
    fs::copy_file(std::string(KESTO_SOURCE_DIR) + "/examples/blink/blink.hex", image);
    if (!library.empty()) fs::create_symlink(library, folder / "libmsp430.so");

    std::printf("\nThe example's programming pass (+ebpv, %d runs each, median)\n", RUNS);
    const double simulated = median_of_runs({kesto, "-FET", "SIM", "-a", "0", "+ebpv", image}, folder.string());
    std::printf("%-64s %8.0f ms\n", "built-in simulated adapter (-FET SIM)", simulated);
    if (library.empty()) {
        std::printf("%-64s %11s\n", "the chip maker's library on the virtual LaunchPad", "skipped");
        std::printf("(no libmsp430.so: configure with KESTO_VENDOR_SOURCE, or make vendor-library)\n");
    } else {
        const double real = median_of_runs({KESTO_BOARD_BINARY, "--", kesto, "-a", "0", "+ebpv", image}, folder.string());
        if (real < 0)
            std::printf("%-64s %11s\n", "the chip maker's library on the virtual LaunchPad", "failed");
        else
            std::printf("%-64s %8.0f ms\n", "the chip maker's library on the virtual LaunchPad (kesto-board)", real);
    }
    fs::remove_all(folder);
    return simulated < 0 ? 1 : 0;
}
