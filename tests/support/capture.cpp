#include "support/capture.h"

#include <fcntl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/console.h"
#include "support/scratch_folder.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define open _open
constexpr const char* NULL_DEVICE = "NUL";
#else
#include <unistd.h>
#define O_BINARY 0
constexpr const char* NULL_DEVICE = "/dev/null";
#endif

namespace {

struct ExitCaught {
    int status;
};

// However the procedure ends, all is the program's own again afterwards.
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

// The output goes to a file in a folder this process made for itself. The C library's tmpfile
// will not do: under Wine it failed now and then while test processes ran side by side.
Captured capture_output(const std::function<void()>& procedure) {
    static const ScratchFolder folder;
    static int captures = 0;
    Captured result;
    const std::string path = folder.path("output-" + std::to_string(++captures));
    const int sink = folder.folder().empty() ? -1 : open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_BINARY, 0600);
    const int null_input = open(NULL_DEVICE, O_RDONLY);
    if (sink < 0 || null_input < 0) {
        ADD_FAILURE() << "cannot capture the output in " << path << " with input from " << NULL_DEVICE;
        if (sink >= 0) close(sink);
        if (null_input >= 0) close(null_input);
        return result;
    }
    {
        const Capture capture(sink, null_input);
        close(null_input);
        try {
            procedure();
            result.status = CAPTURE_RETURNED;
        } catch (const ExitCaught& caught) {
            result.status = caught.status;
        }
    }
    close(sink);
    result.text = read_file(path);
    std::remove(path.c_str());
    return result;
}
