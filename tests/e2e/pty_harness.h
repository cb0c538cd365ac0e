// Runs the built program as an operator does: its console on one pseudo-terminal, its serial
// port on another. Every wait has a deadline.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/serial_device_seam.h"
#include "support/scratch_folder.h"

inline long long monotonic_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Reads what comes within `wait_ms`: the count, 0 when nothing came, -1 at the end of input.
inline ssize_t read_some(int fd, std::string& into, int wait_ms) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, wait_ms < 0 ? 0 : wait_ms) <= 0) return 0;
    char chunk[65536];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) return into.append(chunk, static_cast<std::size_t>(n)), n;
    return n < 0 && (errno == EINTR || errno == EAGAIN) ? 0 : -1;  // EIO once the program's side is closed
}

inline void write_all(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

// The slave stays open here, so the master works while the program reopens the line.
struct SerialLine {
    int master = -1, slave = -1;
    std::string path;
    SerialLine() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        termios mode{};
        tcgetattr(slave, &mode);
        cfmakeraw(&mode);
        tcsetattr(slave, TCSANOW, &mode);
        // No program started later may hold the line: unplugging it has to reach kesto.
        fcntl(master, F_SETFD, FD_CLOEXEC), fcntl(slave, F_SETFD, FD_CLOEXEC);
        path = name;
    }
    ~SerialLine() { vanish(); }
    SerialLine(const SerialLine&) = delete;
    void send(const std::string& bytes) const { write_all(master, bytes); }
    // A byte at a time, so that nothing beyond `count` is taken.
    std::string receive(std::size_t count, int deadline_ms = 5000) const {
        std::string got;
        for (const long long end = monotonic_ms() + deadline_ms; got.size() < count && monotonic_ms() < end;) {
            pollfd pfd{master, POLLIN, 0};
            char byte;
            if (poll(&pfd, 1, static_cast<int>(end - monotonic_ms())) > 0 && read(master, &byte, 1) == 1) got += byte;
        }
        return got;
    }
    bool wait_pending(int n, int deadline_ms = 5000) const {
        int pending = 0;
        for (const long long end = monotonic_ms() + deadline_ms; monotonic_ms() < end; usleep(1000))
            if (ioctl(slave, FIONREAD, &pending) == 0 && pending >= n) return true;
        return false;
    }
    void vanish() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
        master = slave = -1;
    }
};

// Points every COM name at path; "/nonexistent" keeps tests off real ports, nullptr restores the table.
inline void point_com_ports(const char* path) {
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) serial_device_set_com_path(n, path);
}

struct Console {
    int master = -1;
    pid_t pid = -1;
    std::string text;
    int status = -1, signal = 0;
    bool ended = false;
    unsigned initial_local_flags = 0;

    // As a job, the program runs in a process group of its own in the console's foreground,
    // under a stand-in for the shell, as job control (SIGTSTP) needs.
    explicit Console(std::vector<std::string> args, const std::string& cwd = "", bool as_job = false)
        : Console(KESTO_BINARY, std::move(args), cwd, as_job) {}

    Console(const std::string& program, std::vector<std::string> args, const std::string& cwd = "",
            bool as_job = false, winsize size = {50, 200, 0, 0}) {
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return;
        termios initial{};
        tcgetattr(slave, &initial);
        initial_local_flags = initial.c_lflag;
        std::fflush(nullptr);
        if ((pid = fork()) == 0) {
            close(master);
            if (login_tty(slave) != 0 || (!cwd.empty() && chdir(cwd.c_str()) != 0)) _exit(126);
            const pid_t job = as_job ? fork() : 0;
            if (job == 0) {
                if (as_job) {
                    sigset_t quiet, before;
                    sigemptyset(&quiet), sigaddset(&quiet, SIGTTOU);
                    sigprocmask(SIG_BLOCK, &quiet, &before);
                    if (setpgid(0, 0) != 0 || tcsetpgrp(STDIN_FILENO, getpid()) != 0) _exit(126);
                    sigprocmask(SIG_SETMASK, &before, nullptr);
                }
                execv(argv[0], argv.data());
                _exit(127);
            }
            int job_status = 0;
            while (waitpid(job, &job_status, 0) < 0 && errno == EINTR) continue;
            if (WIFSIGNALED(job_status)) ::signal(WTERMSIG(job_status), SIG_DFL), raise(WTERMSIG(job_status));
            _exit(WEXITSTATUS(job_status));
        }
        close(slave);
        fcntl(master, F_SETFD, FD_CLOEXEC);
    }
    ~Console() {
        if (!ended && pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        if (master >= 0) close(master);
    }
    Console(const Console&) = delete;
    void type(const std::string& keys) const { write_all(master, keys); }
    bool wait_for(const std::string& needle, std::size_t from = 0, int deadline_ms = 10000) {
        const long long end = monotonic_ms() + deadline_ms;
        while (text.find(needle, from) == std::string::npos)
            if (monotonic_ms() >= end || read_some(master, text, static_cast<int>(end - monotonic_ms())) < 0)
                return text.find(needle, from) != std::string::npos;
        return true;
    }
    void settle(int quiet_ms = 100) { while (read_some(master, text, quiet_ms) > 0) continue; }
    bool wait_exit(int deadline_ms = 10000) {
        if (ended) return true;
        ended = true;
        int wait_status = 0;
        const long long end = monotonic_ms() + deadline_ms;
        while (read_some(master, text, 50) > 0 || waitpid(pid, &wait_status, WNOHANG) != pid)
            if (monotonic_ms() > end) return kill(pid, SIGKILL), waitpid(pid, nullptr, 0), false;
        settle(20);  // what the program wrote last is still in the pty
        status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
        signal = WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
        return true;
    }
    unsigned local_flags() const {
        termios mode{};
        return tcgetattr(master, &mode) == 0 ? mode.c_lflag : ~0u;
    }
};

inline const std::string KEY_F1 = "\x1bOP", KEY_F4 = "\x1bOS", KEY_F5 = "\x1b[15~", KEY_F9 = "\x1b[20~",
                         KEY_F10 = "\x1b[21~";

// Without the titles and the title stack's push and pop.
inline std::string without_titles(const std::string& text) {
    static const std::regex titles("\x1b\\]0;[^\a]*\a|\x1b\\[2[23];0t");
    return std::regex_replace(text, titles, "");
}

inline std::string as_shown(const std::string& written) {
    std::string out;
    for (char c : written) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

inline const std::string KESTO_BANNER = "KESTO 1.0  MSP430 programmer and serial terminal\n";
inline const std::string SHOWN_STARTED = as_shown("\nDumb Terminal started\n");
inline const std::string SHOWN_STOPPED = as_shown("\n\nTerminal stopped\n\n");

// The share of one core the process uses over the next `ms` milliseconds (0.25 = 25%).
inline double cpu_share_over(pid_t pid, int ms) {
    long long before = -1, after = -1;  // schedstat begins with the time on a processor, in ns
    std::ifstream("/proc/" + std::to_string(pid) + "/schedstat") >> before;
    usleep(static_cast<useconds_t>(ms) * 1000);
    std::ifstream("/proc/" + std::to_string(pid) + "/schedstat") >> after;
    return before < 0 || after < 0 ? 1.0 : static_cast<double>(after - before) / 1e6 / ms;
}

// Set by `make valgrind`, where everything runs many times slower.
inline bool under_valgrind() {
    const char* value = std::getenv("KESTO_UNDER_VALGRIND");
    return value && value[0] == '1';
}

// How many times less work a heavy test does in this build; `make mutate`, which runs the suite
// once for each mutant, sets KESTO_MUTATE.
#if defined(__SANITIZE_ADDRESS__)
inline std::size_t slowdown() { return under_valgrind() ? 64 : 8; }
#else
inline std::size_t slowdown() { return under_valgrind() ? 64 : std::getenv("KESTO_MUTATE") ? 8 : 1; }
#endif

// A terminal session without a pass, its port reached through a link, so that a test can unplug
// it and plug in another.
struct Session {
    ScratchFolder dir;
    std::string link = dir.path("ttyBOARD");
    std::unique_ptr<SerialLine> line = std::make_unique<SerialLine>();
    std::unique_ptr<Console> console;
    std::size_t after_banner = 0;

    explicit Session(const std::vector<std::string>& options = {}, const std::string& cwd = "", bool as_job = false) {
        repoint(line->path);
        std::vector<std::string> args = {link, "-m", "-a", "0", "-l", dir.path("board.log")};
        args.insert(args.end(), options.begin(), options.end());
        console = std::make_unique<Console>(args, cwd.empty() ? dir.folder() : cwd, as_job);
    }
    bool started() {
        if (!console->wait_for(SHOWN_STARTED)) return false;
        const std::size_t banner = console->text.find(SHOWN_STARTED) + SHOWN_STARTED.size();
        if (!console->wait_for("\r\n", banner)) return false;
        return after_banner = console->text.find("\r\n", banner) + 2, true;
    }
    std::string shown() const { return without_titles(console->text.substr(after_banner)); }
    std::string key(const std::string& keys, std::size_t count) {
        console->type(keys);
        return line->receive(count);
    }
    bool board_says(const std::string& text, const std::string& until) {
        const std::size_t from = console->text.size();
        line->send(text);
        return console->wait_for(until, from);
    }
    bool stop(const std::string& keys = KEY_F10) {
        console->type(keys);
        return console->wait_exit() && console->status == 0;
    }
    void unplug() { line->vanish(), unlink(link.c_str()); }
    std::string log() const { return dir.read("board.log"); }
    // Swaps the link in one step, so the program never sees a missing name.
    void repoint(const std::string& target) const {
        const std::string next = link + ".next";
        if (symlink(target.c_str(), next.c_str()) != 0 || rename(next.c_str(), link.c_str()) != 0)
            std::perror(link.c_str());
    }
};

// A procedure in a child process (standard input /dev/null), its standard output collected.
struct ProcessRun {
    std::string text;
    int status = -1;  // -1 when it did not exit
};
inline ProcessRun run_process(const std::function<void()>& procedure, int deadline_ms = 10000) {
    ProcessRun run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], STDOUT_FILENO), close(fds[0]), close(fds[1]);
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        procedure();
        std::fflush(stdout), _exit(199);  // the procedure returned instead of starting a program
    }
    close(fds[1]);
    for (const long long end = monotonic_ms() + deadline_ms; read_some(fds[0], run.text, 100) >= 0;)
        if (monotonic_ms() > end) {
            kill(child, SIGKILL);
            break;
        }
    close(fds[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    return run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, run;
}
