// A LaunchPad that is not plugged in: its two USB serial ports as the system shows them, served
// by a board in this process, for a command that runs where it sees them as the real ones.
//
// The command runs in a child process with a private view of /dev and /sys/class/tty: there
// /dev/ttyACM0 is the adapter's debug port and /dev/ttyACM1 its "MSP Application UART", each a
// pseudo-terminal whose other end this process serves, and /sys/class/tty holds the entries by
// which the chip maker's library (and anything else that looks for a LaunchPad) finds them.
// Only Linux builds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What answers on the two ports: the emulated adapter and the board behind it.
class LaunchpadService {
public:
    virtual ~LaunchpadService() = default;

    // The debug port: bytes from the host, and what the adapter answers.
    virtual void debug_received(const std::uint8_t* bytes, std::size_t n) = 0;
    virtual std::size_t debug_take(std::uint8_t* out, std::size_t capacity) = 0;

    // The UART: the rate the host has set on its side of the line (told before each run), the
    // bytes it sends, and what the board has sent.
    virtual void uart_rate(std::uint32_t baud) = 0;
    virtual void uart_received(const std::uint8_t* bytes, std::size_t n) = 0;
    virtual std::size_t uart_take(std::uint8_t* out, std::size_t capacity) = 0;

    // Runs the board up to now. Returns how many milliseconds may pass before it needs to run
    // again, -1 when nothing is due until a port has bytes.
    virtual int run() = 0;
};

struct LaunchpadOutcome {
    enum Kind {
        COMMAND_ENDED,  // status is the command's: its exit status, or 128 + the signal that ended it
        REFUSED,        // the system refused the private namespaces; why says so and how to allow them
        FAILED,         // anything else kept the command from starting; why says what
    };
    Kind kind = FAILED;
    int status = 0;
    std::string why;
};

// Runs command (a program looked up on PATH, and its arguments) beside the virtual LaunchPad
// and serves the ports until it ends. SIGINT, SIGTERM and SIGHUP sent to this process go on to
// the command; this process ends only with it.
LaunchpadOutcome run_virtual_launchpad(const std::vector<std::string>& command, LaunchpadService& service);

// The names the two ports have where the command runs.
inline constexpr const char* LAUNCHPAD_DEBUG_PORT = "/dev/ttyACM0";
inline constexpr const char* LAUNCHPAD_UART_PORT = "/dev/ttyACM1";
