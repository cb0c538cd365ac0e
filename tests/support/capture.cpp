#include "support/capture.h"

#include <fcntl.h>

#include <cstdio>
#include <memory>

#include "base/console.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define open _open
#define fileno _fileno
constexpr const char* NULL_DEVICE = "NUL";
#else
#include <unistd.h>
constexpr const char* NULL_DEVICE = "/dev/null";
#endif

namespace {

struct ExitCaught {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw ExitCaught{status}; }

// Points a standard descriptor elsewhere until destroyed.
class Redirect {
public:
    Redirect(int standard, int to) : standard_(standard), saved_(dup(standard)) { dup2(to, standard); }
    ~Redirect() {
        std::fflush(nullptr);
        dup2(saved_, standard_);
        close(saved_);
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

private:
    int standard_, saved_;
};

// Whatever way the procedure ends, the exit is the program's own again afterwards.
struct Interception {
    Interception() { exit_interceptor = throw_exit; }
    ~Interception() { exit_interceptor = nullptr; }
    Interception(const Interception&) = delete;
    Interception& operator=(const Interception&) = delete;
};

}  // namespace

Captured capture_output(const std::function<void()>& procedure) {
    Captured result;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::tmpfile(), std::fclose);
    const int null_input = open(NULL_DEVICE, O_RDONLY);
    if (!sink || null_input < 0) return result;
    std::fflush(stdout);
    {
        const Redirect output(1, fileno(sink.get())), input(0, null_input);
        close(null_input);
        const Interception interception;
        try {
            procedure();
            result.status = CAPTURE_RETURNED;
        } catch (const ExitCaught& caught) {
            result.status = caught.status;
        }
        std::fflush(stdout);
    }
    std::rewind(sink.get());
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, sink.get())) > 0;) result.text.append(chunk, n);
    return result;
}
