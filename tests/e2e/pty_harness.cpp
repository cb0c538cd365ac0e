#include "e2e/pty_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#ifndef KESTO_BINARY
#error "KESTO_BINARY names the program under test"
#endif

long long monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

namespace {

// Reads what is there within `wait_ms`; -1 at end of input, else the count (0: nothing came).
ssize_t read_some(int fd, std::string& into, int wait_ms) {
    pollfd pfd{fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, wait_ms < 0 ? 0 : wait_ms);
    if (ready <= 0) return 0;
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
        into.append(chunk, static_cast<std::size_t>(n));
        return n;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
    return -1;  // EIO once the program's side is closed
}

void make_raw(int fd) {
    termios mode{};
    tcgetattr(fd, &mode);
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);
}

}  // namespace

SerialLine::SerialLine() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    make_raw(slave);
    // A program started later must not hold this line open: unplugging it has to reach the
    // program under test.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = name;
}

SerialLine::~SerialLine() { vanish(); }

void SerialLine::vanish() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
    master = slave = -1;
}

void SerialLine::send(const std::string& bytes) const {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + at, bytes.size() - at);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

std::string SerialLine::receive(std::size_t count, int deadline_ms) const {
    std::string got;
    const long long end = monotonic_ms() + deadline_ms;
    while (got.size() < count) {
        const long long left = end - monotonic_ms();
        if (left <= 0) break;
        // One byte at a time, so that nothing beyond `count` is taken from the line.
        pollfd pfd{master, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        char byte;
        if (read(master, &byte, 1) != 1) break;
        got += byte;
    }
    return got;
}

std::string SerialLine::drain(int quiet_ms) const {
    std::string got;
    while (read_some(master, got, quiet_ms) > 0) {
    }
    return got;
}

namespace {

std::vector<std::string> kesto_command(const std::vector<std::string>& args) {
    std::vector<std::string> command = {KESTO_BINARY};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

}  // namespace

Console::Console(const std::vector<std::string>& args, const std::string& cwd)
    : Console(kesto_command(args), true, cwd) {}

Console::Console(const std::vector<std::string>& command, bool, const std::string& cwd) {
    std::vector<std::string> argv_text = command;
    std::vector<char*> argv;
    for (auto& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    winsize size{};
    size.ws_row = 50;
    size.ws_col = 200;
    // The console starts in the mode a fresh pty has; it is known before the program can touch it.
    termios initial{};
    int probe_master = -1;
    int probe_slave = -1;
    if (openpty(&probe_master, &probe_slave, nullptr, nullptr, nullptr) == 0) {
        tcgetattr(probe_slave, &initial);
        close(probe_master);
        close(probe_slave);
    }
    initial_local_flags = initial.c_lflag;
    std::fflush(nullptr);
    pid = forkpty(&master, nullptr, &initial, &size);
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (master >= 0) fcntl(master, F_SETFD, FD_CLOEXEC);
}

Console::~Console() {
    if (!ended && pid > 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (master >= 0) close(master);
}

void Console::type(const std::string& keys) const {
    std::size_t at = 0;
    while (at < keys.size()) {
        const ssize_t n = write(master, keys.data() + at, keys.size() - at);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

bool Console::wait_for(const std::string& needle, std::size_t from, int deadline_ms) {
    const long long end = monotonic_ms() + deadline_ms;
    for (;;) {
        if (text.find(needle, from) != std::string::npos) return true;
        const long long left = end - monotonic_ms();
        if (left <= 0) return false;
        if (read_some(master, text, static_cast<int>(left)) < 0) return text.find(needle, from) != std::string::npos;
    }
}

std::string Console::settle(int quiet_ms) {
    const std::size_t before = text.size();
    while (read_some(master, text, quiet_ms) > 0) {
    }
    return text.substr(before);
}

bool Console::wait_exit(int deadline_ms) {
    if (ended) return true;
    const long long end = monotonic_ms() + deadline_ms;
    int wait_status = 0;
    for (;;) {
        const long long left = end - monotonic_ms();
        if (left <= 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            ended = true;
            return false;
        }
        const ssize_t n = read_some(master, text, static_cast<int>(left < 50 ? left : 50));
        if (n > 0) continue;
        const pid_t reaped = waitpid(pid, &wait_status, WNOHANG);
        if (reaped == pid) break;
    }
    // Whatever the program wrote last is still in the pty.
    while (read_some(master, text, 20) > 0) {
    }
    ended = true;
    if (WIFEXITED(wait_status)) status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) signal = WTERMSIG(wait_status);
    return true;
}

void Console::kill_with(int signal_number) const { ::kill(pid, signal_number); }

unsigned Console::local_flags() const {
    termios mode{};
    if (tcgetattr(master, &mode) != 0) return ~0u;
    return mode.c_lflag;
}

std::string without_titles(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t start = text.find("\x1b]0;", at);
        if (start == std::string::npos) break;
        const std::size_t stop = text.find('\a', start);
        if (stop == std::string::npos) break;
        out.append(text, at, start - at);
        at = stop + 1;
    }
    out.append(text, at, std::string::npos);
    return out;
}

std::string as_shown(const std::string& written) {
    std::string out;
    for (char c : written) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string make_temp_dir() {
    char pattern[] = "/tmp/kesto-e2e-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
