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

// Standard output and input pointed elsewhere and the end of the process caught, until
// destroyed: however the procedure ends, all is the program's own again afterwards.
class Capture {
public:
    Capture(int output, int input) : output_(dup(1)), input_(dup(0)) {
        std::fflush(stdout);
        dup2(output, 1), dup2(input, 0);
        exit_interceptor = [](int status) { throw ExitCaught{status}; };
    }
    ~Capture() {
        std::fflush(nullptr);
        exit_interceptor = nullptr;
        dup2(output_, 1), dup2(input_, 0), close(output_), close(input_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

private:
    int output_, input_;
};

}  // namespace

Captured capture_output(const std::function<void()>& procedure) {
    Captured result;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::tmpfile(), std::fclose);
    const int null_input = open(NULL_DEVICE, O_RDONLY);
    if (!sink || null_input < 0) return result;
    {
        const Capture capture(fileno(sink.get()), null_input);
        close(null_input);
        try {
            procedure();
            result.status = CAPTURE_RETURNED;
        } catch (const ExitCaught& caught) {
            result.status = caught.status;
        }
    }
    std::rewind(sink.get());
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, sink.get())) > 0;) result.text.append(chunk, n);
    return result;
}
