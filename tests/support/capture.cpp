#include "support/capture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

long long now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

}  // namespace

Captured capture_output(const std::function<void()>& procedure, int deadline_ms) {
    Captured result;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return result;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_fds[0]);
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[1]);
        const int null_fd = open("/dev/null", O_RDONLY);
        if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
        procedure();
        std::fflush(stdout);
        _exit(CAPTURE_RETURNED);
    }
    close(pipe_fds[1]);
    const long long end = now_ms() + deadline_ms;
    char chunk[4096];
    for (;;) {
        const long long left = end - now_ms();
        if (left <= 0) {
            result.timed_out = true;
            kill(child, SIGKILL);
            break;
        }
        pollfd pfd{pipe_fds[0], POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = read(pipe_fds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        result.text.append(chunk, static_cast<size_t>(n));
    }
    close(pipe_fds[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
    return result;
}
