#include "platform/virtual_launchpad.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/pty_line.h"
#include "platform/posix/write_all.h"

namespace {

// What a LaunchPad's adapter declares for each of its two CDC functions: the debug port on
// interface 0, the application UART on interface 2.
struct PortEntry {
    const char* name;
    const char* modalias;
    const char* interface_number;
    const char* interface_name;
};
constexpr PortEntry DEBUG_ENTRY = {"ttyACM0", "usb:v2047p0013d0100dc02dsc00dp00ic02isc02ip01in00", "00",
                                   "MSP Debug Interface"};
constexpr PortEntry UART_ENTRY = {"ttyACM1", "usb:v2047p0013d0100dc02dsc00dp00ic02isc02ip01in02", "02",
                                  "MSP Application UART"};

// The rates the ports start at; the library sets its own on the debug port, and a terminal
// program sets the UART's.
constexpr std::uint32_t DEBUG_START_RATE = 460800;
constexpr std::uint32_t UART_START_RATE = 9600;

// What the board's UART sends beyond what the pseudo-terminal holds, kept until it is read.
constexpr std::size_t UART_BACKLOG = 4096;

// What programs expect to find in /dev besides the ports: device nodes and folders bound from
// the system's own /dev, and the descriptor links.
constexpr const char* DEV_NODES[] = {"null", "zero", "full", "random", "urandom", "tty", "ptmx"};
constexpr const char* DEV_FOLDERS[] = {"pts", "shm"};
struct DevLink {
    const char* name;
    const char* target;
};
constexpr DevLink DEV_LINKS[] = {
    {"fd", "/proc/self/fd"}, {"stdin", "/proc/self/fd/0"}, {"stdout", "/proc/self/fd/1"}, {"stderr", "/proc/self/fd/2"}};

// A pseudo-terminal whose slave this process keeps open as well: with no program on the port,
// the master would otherwise read as hung up and wake the loop for ever.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    std::string pending;  // served bytes the master has not taken yet
};

std::string system_text(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

bool open_pty(Pty& pty, std::uint32_t rate, std::string& why) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
        ptsname_r(pty.master, name, sizeof name) != 0) {
        why = system_text("cannot make a pseudo-terminal", errno);
        return false;
    }
    pty.path = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) {
        why = system_text(name, errno);
        return false;
    }
    if (!pty_line_make_raw(pty.slave, rate)) {
        why = system_text("cannot set up the pseudo-terminal", errno);
        return false;
    }
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    return true;
}

void close_pty(Pty& pty) {
    if (pty.master >= 0) close(pty.master);
    if (pty.slave >= 0) close(pty.slave);
    pty.master = pty.slave = -1;
}

// ---- The child's side: the namespaces, the mounts, then the command ----

constexpr int FORWARDED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// How the child tells the parent why the command did not start, on a pipe that closes at exec.
enum SetupFailure : char { NAMESPACE_REFUSED = 'N', SETUP_FAILED = 'S', NOT_FOUND = 'F', NOT_RUN = 'X' };

[[noreturn]] void child_fails(int report, SetupFailure kind, const std::string& why, int error) {
    std::string message(1, static_cast<char>(kind));
    message += why;
    if (error != 0) message += std::string(": ") + std::strerror(error);
    write_all(report, message.data(), message.size());
    _exit(127);
}

bool write_file(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written = write_all(fd, text.data(), text.size()) == 0;
    return close(fd) == 0 && written;
}

const char* const REFUSAL_ADVICE =
    "this system does not let this user have a private user and mount namespace (";
const char* const REFUSAL_HELP =
    ").\n  Allow unprivileged user namespaces (sysctl kernel.unprivileged_userns_clone=1, user.max_user_namespaces "
    "above 0;\n  on Ubuntu kernel.apparmor_restrict_unprivileged_userns=0), or run kesto-board as root";

[[noreturn]] void refuse(int report, const char* step, int error) {
    child_fails(report, NAMESPACE_REFUSED,
                std::string(REFUSAL_ADVICE) + step + ": " + std::strerror(error) + REFUSAL_HELP, 0);
}

// What a bind, a remount or a change of propagation gives for the source or file system it
// ignores: a name rather than null, which checkers of system calls take for a bad pointer.
constexpr const char* NO_NAME = "none";

// The same user and group inside as outside, so that what the command makes is the caller's.
void enter_namespaces(int report) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) refuse(report, "unshare", errno);
    if (!write_file("/proc/self/setgroups", "deny") && errno != ENOENT) refuse(report, "setgroups", errno);
    if (!write_file("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1"))
        refuse(report, "uid_map", errno);
    if (!write_file("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
        refuse(report, "gid_map", errno);
    // Nothing mounted here may reach the system's own view.
    if (mount(NO_NAME, "/", NO_NAME, MS_REC | MS_PRIVATE, nullptr) != 0) refuse(report, "mount", errno);
}

// Binds what `original` (an O_PATH descriptor of the system's /dev entry) is at target.
void bind(int report, int original, const std::string& target) {
    const std::string source = "/proc/self/fd/" + std::to_string(original);
    if (mount(source.c_str(), target.c_str(), NO_NAME, MS_BIND | MS_REC, nullptr) != 0)
        child_fails(report, SETUP_FAILED, "cannot bind " + target, errno);
}

int keep_original(const std::string& path) { return open(path.c_str(), O_PATH | O_CLOEXEC); }

void make_node(int report, const std::string& path) {
    if (!write_file(path, "")) child_fails(report, SETUP_FAILED, "cannot make " + path, errno);
}

void make_folder(int report, const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) child_fails(report, SETUP_FAILED, "cannot make " + path, errno);
}

void mount_tmpfs(int report, const char* where) {
    if (mount("kesto-board", where, "tmpfs", MS_NOSUID | MS_NOEXEC, "mode=0755,size=1m") != 0)
        child_fails(report, SETUP_FAILED, std::string("cannot mount a tmpfs on ") + where, errno);
}

// /dev holds only what programs need and the two ports.
void build_dev(int report, const Pty& debug, const Pty& uart) {
    // The originals are hidden once the tmpfs covers /dev: reach them through descriptors.
    int nodes[std::size(DEV_NODES)], folders[std::size(DEV_FOLDERS)];
    for (std::size_t i = 0; i < std::size(DEV_NODES); ++i) nodes[i] = keep_original(std::string("/dev/") + DEV_NODES[i]);
    for (std::size_t i = 0; i < std::size(DEV_FOLDERS); ++i)
        folders[i] = keep_original(std::string("/dev/") + DEV_FOLDERS[i]);
    const int ports[] = {keep_original(debug.path), keep_original(uart.path)};
    if (ports[0] < 0 || ports[1] < 0) child_fails(report, SETUP_FAILED, "cannot reach " + debug.path, errno);

    mount_tmpfs(report, "/dev");
    for (std::size_t i = 0; i < std::size(DEV_NODES); ++i) {
        if (nodes[i] < 0) continue;  // a system without it does without it here too
        make_node(report, std::string("/dev/") + DEV_NODES[i]);
        bind(report, nodes[i], std::string("/dev/") + DEV_NODES[i]);
    }
    for (std::size_t i = 0; i < std::size(DEV_FOLDERS); ++i) {
        if (folders[i] < 0) continue;
        make_folder(report, std::string("/dev/") + DEV_FOLDERS[i]);
        bind(report, folders[i], std::string("/dev/") + DEV_FOLDERS[i]);
    }
    for (const DevLink& link : DEV_LINKS)
        if (symlink(link.target, (std::string("/dev/") + link.name).c_str()) != 0)
            child_fails(report, SETUP_FAILED, std::string("cannot link /dev/") + link.name, errno);
    const PortEntry* entries[] = {&DEBUG_ENTRY, &UART_ENTRY};
    for (int i = 0; i < 2; ++i) {
        const std::string path = std::string("/dev/") + entries[i]->name;
        make_node(report, path);
        bind(report, ports[i], path);
    }
    for (const int fd : nodes) if (fd >= 0) close(fd);
    for (const int fd : folders) if (fd >= 0) close(fd);
    close(ports[0]), close(ports[1]);
    // The tmpfs is read-only from here on; the binds inside keep their own flags.
    mount(NO_NAME, "/dev", NO_NAME, MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NOEXEC, nullptr);
}

// /sys/class/tty as the system shows a LaunchPad's two ports, and nothing else.
void build_sys_class_tty(int report) {
    mount_tmpfs(report, "/sys/class/tty");
    for (const PortEntry* entry : {&DEBUG_ENTRY, &UART_ENTRY}) {
        const std::string folder = std::string("/sys/class/tty/") + entry->name;
        make_folder(report, folder);
        make_folder(report, folder + "/device");
        if (!write_file(folder + "/device/modalias", std::string(entry->modalias) + "\n") ||
            !write_file(folder + "/device/bInterfaceNumber", std::string(entry->interface_number) + "\n") ||
            !write_file(folder + "/device/interface", std::string(entry->interface_name) + "\n"))
            child_fails(report, SETUP_FAILED, "cannot write " + folder, errno);
    }
    mount(NO_NAME, "/sys/class/tty", NO_NAME, MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NOEXEC, nullptr);
}

void restore_signal_actions();

[[noreturn]] void run_child(const std::vector<std::string>& command, const Pty& debug, const Pty& uart, int report,
                            const sigset_t& old_mask) {
    enter_namespaces(report);
    build_dev(report, debug, uart);
    build_sys_class_tty(report);
    restore_signal_actions();
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    const int error = errno;
    child_fails(report, error == ENOENT ? NOT_FOUND : NOT_RUN, "cannot run " + command[0], error);
}

// ---- The parent's side: signals, the ports, the child's end ----

int signal_pipe[2] = {-1, -1};
// What the caller had for the signals handled here: the command gets it back (a SIGHUP ignored
// under nohup stays ignored), and so does this process when the board is done.
struct sigaction saved_actions[std::size(FORWARDED_SIGNALS) + 1];

// A signal the terminal sent to the whole foreground group has reached the command already;
// only one sent to this process alone (kill, a supervisor) is passed on.
void on_signal(int sig, siginfo_t* info, void*) {
    const int saved = errno;
    const bool from_process = sig == SIGCHLD || info->si_code <= 0;
    if (from_process) {
        const unsigned char byte = static_cast<unsigned char>(sig);
        [[maybe_unused]] const ssize_t n = write(signal_pipe[1], &byte, 1);
    }
    errno = saved;
}

bool make_signal_pipe(std::string& why) {
    if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        why = system_text("cannot make a pipe", errno);
        return false;
    }
    struct sigaction action {};
    action.sa_sigaction = on_signal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(FORWARDED_SIGNALS); ++i)
        sigaction(FORWARDED_SIGNALS[i], &action, &saved_actions[i]);
    action.sa_flags |= SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, &saved_actions[std::size(FORWARDED_SIGNALS)]);
    return true;
}

void restore_signal_actions() {
    for (std::size_t i = 0; i < std::size(FORWARDED_SIGNALS); ++i) sigaction(FORWARDED_SIGNALS[i], &saved_actions[i], nullptr);
    sigaction(SIGCHLD, &saved_actions[std::size(FORWARDED_SIGNALS)], nullptr);
}

void restore_signals() {
    restore_signal_actions();
    for (int& fd : signal_pipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

// What the child reported before exec, empty when exec took place.
std::string child_report(int report) {
    std::string text;
    char chunk[512];
    for (;;) {
        const ssize_t n = read(report, chunk, sizeof chunk);
        if (n > 0) text.append(chunk, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) return text;
    }
}

void read_port(Pty& pty, LaunchpadService& service, bool debug) {
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t n = read(pty.master, chunk, sizeof chunk);
        if (n <= 0) return;
        if (debug) service.debug_received(chunk, static_cast<std::size_t>(n));
        else service.uart_received(chunk, static_cast<std::size_t>(n));
    }
}

// Takes what the service has for the port and writes as much as the pseudo-terminal accepts;
// the rest waits for it to drain.
void write_port(Pty& pty, LaunchpadService& service, bool debug) {
    std::uint8_t chunk[4096];
    for (std::size_t got; (got = debug ? service.debug_take(chunk, sizeof chunk) : service.uart_take(chunk, sizeof chunk)) > 0;)
        pty.pending.append(reinterpret_cast<const char*>(chunk), got);
    // A UART nobody reads loses what it sends once the line's buffers are full, as the adapter's
    // bridge does; the debug port's answers are few and each is awaited.
    if (!debug && pty.pending.size() > UART_BACKLOG) pty.pending.erase(0, pty.pending.size() - UART_BACKLOG);
    while (!pty.pending.empty()) {
        const ssize_t n = write(pty.master, pty.pending.data(), pty.pending.size());
        if (n <= 0) return;
        pty.pending.erase(0, static_cast<std::size_t>(n));
    }
}

int exit_status(int wait_status) {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
    return 1;
}

// Serves both ports until the child ends; returns its wait status.
int serve(pid_t child, Pty& debug, Pty& uart, LaunchpadService& service) {
    for (;;) {
        service.uart_rate(pty_line_rate(uart.slave));
        const int wait_ms = service.run();
        write_port(debug, service, true);
        write_port(uart, service, false);
        pollfd fds[3] = {{debug.master, static_cast<short>(POLLIN | (debug.pending.empty() ? 0 : POLLOUT)), 0},
                         {uart.master, static_cast<short>(POLLIN | (uart.pending.empty() ? 0 : POLLOUT)), 0},
                         {signal_pipe[0], POLLIN, 0}};
        if (poll(fds, 3, wait_ms) < 0 && errno != EINTR) {
            int wait_status = 0;
            while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) continue;
            return wait_status;
        }
        if (fds[0].revents & POLLIN) read_port(debug, service, true);
        if (fds[1].revents & POLLIN) read_port(uart, service, false);
        if (!(fds[2].revents & POLLIN)) continue;
        unsigned char signals[64];
        const ssize_t n = read(signal_pipe[0], signals, sizeof signals);
        for (ssize_t i = 0; i < n; ++i)
            if (signals[i] != SIGCHLD) kill(child, signals[i]);
        int wait_status = 0;
        if (waitpid(child, &wait_status, WNOHANG) == child) return wait_status;
    }
}

}  // namespace

LaunchpadOutcome run_virtual_launchpad(const std::vector<std::string>& command, LaunchpadService& service) {
    LaunchpadOutcome outcome;
    if (command.empty()) {
        outcome.why = "no command to run";
        return outcome;
    }
    Pty debug, uart;
    int report[2] = {-1, -1};
    if (!open_pty(debug, DEBUG_START_RATE, outcome.why) || !open_pty(uart, UART_START_RATE, outcome.why) ||
        !make_signal_pipe(outcome.why)) {
        close_pty(debug), close_pty(uart), restore_signals();
        return outcome;
    }
    if (pipe2(report, O_CLOEXEC) != 0) {
        outcome.why = system_text("cannot make a pipe", errno);
        close_pty(debug), close_pty(uart), restore_signals();
        return outcome;
    }
    // No signal may reach the child's handlers between fork and exec.
    sigset_t all, old_mask;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old_mask);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        run_child(command, debug, uart, report[1], old_mask);
    }
    const int fork_error = errno;
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    close(report[1]);
    if (child < 0) {
        outcome.why = system_text("cannot start the command", fork_error);
    } else if (std::string failure = child_report(report[0]); !failure.empty()) {
        waitpid(child, nullptr, 0);
        outcome.kind = failure[0] == NAMESPACE_REFUSED ? LaunchpadOutcome::REFUSED : LaunchpadOutcome::FAILED;
        // As a shell says of a command it cannot find or cannot run.
        outcome.status = failure[0] == NOT_FOUND ? 127 : failure[0] == NOT_RUN ? 126 : 2;
        outcome.why = failure.substr(1);
    } else {
        const int wait_status = serve(child, debug, uart, service);
        outcome.kind = LaunchpadOutcome::COMMAND_ENDED;
        outcome.status = exit_status(wait_status);
    }
    close(report[0]);
    close_pty(debug), close_pty(uart);
    restore_signals();
    return outcome;
}
