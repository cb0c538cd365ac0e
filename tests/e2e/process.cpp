#include "e2e/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

ProcessRun run_process(const std::function<void()>& procedure, int deadline_ms) {
    using namespace std::chrono;
    ProcessRun result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        procedure();
        std::fflush(stdout);
        _exit(PROCESS_RETURNED);
    }
    close(fds[1]);
    const auto end = steady_clock::now() + milliseconds(deadline_ms);
    for (char chunk[4096];;) {
        const long long left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (left <= 0) {
            result.timed_out = true;
            kill(child, SIGKILL);
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = read(fds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        result.text.append(chunk, static_cast<size_t>(n));
    }
    close(fds[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
    return result;
}
