#include "platform/terminal_wait.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/console_keys.h"
#include "platform/posix/key_decoder.h"
#include "platform/posix/posix_console.h"
#include "platform/posix/write_all.h"

namespace {

using Clock = std::chrono::steady_clock;

// After ESC, how long to wait for the rest of a key's sequence before taking the ESC alone.
constexpr auto KEY_PAUSE = std::chrono::milliseconds(25);

// Console bytes on their way to becoming keys.
unsigned char raw[64];
int raw_len = 0;
Clock::time_point raw_arrived{};
bool input_ended = false;

bool stdin_readable() {
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0;
}

void read_raw() {
    if (input_ended || raw_len >= static_cast<int>(sizeof raw) || !stdin_readable()) return;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, raw + raw_len, sizeof raw - static_cast<std::size_t>(raw_len));
        if (n > 0) {
            raw_len += static_cast<int>(n);
            raw_arrived = Clock::now();
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        input_ended = true;  // end of input, or EIO and the like: the console is gone
        return;
    }
}

}  // namespace

void console_input_forget() {
    raw_len = 0;
    input_ended = false;
}

int console_pause_left_ms() {
    if (raw_len == 0) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(raw_arrived + KEY_PAUSE - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

int console_read_keys(unsigned char* keys, int capacity) {
    read_raw();
    const bool pause_over = input_ended || Clock::now() - raw_arrived >= KEY_PAUSE;
    int n = 0;
    while (raw_len > 0 && n + KEY_OUTPUT_MAX <= capacity) {
        const DecodedKey key = decode_key(raw, raw_len, pause_over);
        if (key.consumed == 0) break;
        std::memcpy(keys + n, key.bytes, static_cast<std::size_t>(key.length));
        n += key.length;
        raw_len -= key.consumed;
        std::memmove(raw, raw + key.consumed, static_cast<std::size_t>(raw_len));
    }
    if (n > 0) return n;
    return input_ended && raw_len == 0 ? 0 : -1;
}

namespace {

// The inotify watch on the folder where a gone port's device will appear again.
int device_watch = -1;
int watched = -1;          // the watch descriptor, -1 while none is set
std::string watch_path;    // the device path the watch is for
std::string watched_folder;

// The device's folder, or the nearest folder above it that exists (a by-id folder goes away
// with the last adapter).
std::string nearest_folder(const std::string& path) {
    std::string folder = path;
    for (;;) {
        const std::size_t slash = folder.find_last_of('/');
        if (slash == std::string::npos || slash == 0) return "/";
        folder.resize(slash);
        struct stat found {};
        if (stat(folder.c_str(), &found) == 0 && S_ISDIR(found.st_mode)) return folder;
    }
}

// Watches for a new entry, a renamed one or changed permissions there, and for the folder
// itself going; moved to another folder only when the nearest one has changed, as every new
// watch brings a notice of its own about the old one.
void arm_device_watch() {
    const std::string folder = nearest_folder(watch_path);
    if (watched >= 0 && folder == watched_folder) return;
    if (watched >= 0) inotify_rm_watch(device_watch, watched);
    watched = inotify_add_watch(device_watch, folder.c_str(),
                                IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
    watched_folder = folder;
}

// Reads the notices; a watch whose folder went is over.
void read_device_notices() {
    alignas(inotify_event) char notices[4096];
    for (ssize_t n; (n = read(device_watch, notices, sizeof notices)) > 0;) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event notice;
            std::memcpy(&notice, notices + at, sizeof notice);
            at += static_cast<ssize_t>(sizeof notice + notice.len);
            if (notice.wd != watched) continue;
            if (notice.mask & IN_MOVE_SELF) inotify_rm_watch(device_watch, watched);
            if (notice.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) watched = -1;
        }
    }
}

int device_watch_descriptor(const char* port_name) {
    const char* path = serial_device_path(port_name);
    if (!path || path[0] != '/') return -1;
    if (watched >= 0 && watch_path == path) return device_watch;
    // One instance for the whole run: closing one waits for the kernel (some 15 ms), which
    // would come between the port's return and its first byte.
    if (device_watch < 0) device_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (device_watch < 0) return -1;
    watch_path = path;
    arm_device_watch();
    return watched >= 0 ? device_watch : -1;
}

TerminalEvents wait_for(int port_fd, int device_fd, bool watch_console, int timeout_ms) {
    TerminalEvents events;
    pollfd fds[4];
    nfds_t n = 0;
    int port_index = -1;
    int device_index = -1;
    int console_index = -1;
    int wake_index = -1;
    if (port_fd >= 0) {
        port_index = static_cast<int>(n);
        fds[n++] = pollfd{port_fd, POLLIN, 0};
    }
    if (device_fd >= 0) {
        device_index = static_cast<int>(n);
        fds[n++] = pollfd{device_fd, POLLIN, 0};
    }
    // Bytes held back for the rest of an escape sequence become keys when the pause is over,
    // whether or not more input comes.
    const int pause_left = watch_console ? console_pause_left_ms() : -1;
    if (pause_left >= 0 && (timeout_ms < 0 || pause_left < timeout_ms)) timeout_ms = pause_left;
    if (watch_console && !input_ended) {
        console_index = static_cast<int>(n);
        fds[n++] = pollfd{STDIN_FILENO, POLLIN, 0};
    }
    const int wake = stop_wake_descriptor();
    if (wake >= 0) {
        wake_index = static_cast<int>(n);
        fds[n++] = pollfd{wake, POLLIN, 0};
    }
    // A signal after this look still wakes the poll: its handler writes to the wake pipe.
    if (console_stop_requested()) {
        events.stop_requested = true;
        return events;
    }
    const int ready = poll(fds, n, timeout_ms < 0 ? -1 : timeout_ms);
    if (console_stop_requested()) events.stop_requested = true;
    if (watch_console && (input_ended || (pause_left >= 0 && console_pause_left_ms() == 0))) events.console = true;
    if (ready == 0 && device_fd >= 0) events.device = true;
    if (ready <= 0) return events;
    if (port_index >= 0) {
        const short got = fds[port_index].revents;
        if (got & (POLLIN | POLLHUP | POLLERR)) events.port = true;
        if (got & (POLLHUP | POLLERR | POLLNVAL)) events.port_gone = true;
    }
    if (device_index >= 0 && (fds[device_index].revents & POLLIN)) {
        read_device_notices();
        arm_device_watch();
        events.device = true;
    }
    if (console_index >= 0 && (fds[console_index].revents & (POLLIN | POLLHUP | POLLERR))) events.console = true;
    if (wake_index >= 0 && (fds[wake_index].revents & POLLIN)) {
        char drained[16];
        while (read(wake, drained, sizeof drained) > 0) {
        }
    }
    return events;
}

}  // namespace

TerminalEvents terminal_wait(SerialHandle port, bool watch_console, int timeout_ms) {
    return wait_for(serial_descriptor(port), -1, watch_console, timeout_ms);
}

TerminalEvents terminal_wait_for_device(const char* port_name, bool watch_console, int timeout_ms) {
    const int watch = device_watch_descriptor(port_name);
    TerminalEvents events = wait_for(-1, watch, watch_console, timeout_ms);
    // Without a watch only the time limit tells when to look again.
    if (watch < 0 && !events.console && !events.stop_requested) events.device = true;
    return events;
}

void terminal_wait_for_device_end() {
    if (watched >= 0) inotify_rm_watch(device_watch, watched);
    watched = -1;
    watch_path.clear();
    watched_folder.clear();
    // Notices that came meanwhile are about a wait that is over.
    if (device_watch >= 0) read_device_notices();
}

void console_write(const char* bytes, std::size_t n, bool) {
    if (!console_output_begin()) return;
    write_all(STDOUT_FILENO, bytes, n);
    console_output_end();
}
