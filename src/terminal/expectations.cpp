#include "terminal/expectations.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/console.h"
#include "base/run_settings.h"
#include "platform/log_file.h"

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Where the first match of text in window ends, or npos.
std::size_t match_end(const std::string& window, const std::string& text) {
    const std::size_t at = window.find(text);
    return at == std::string::npos ? at : at + text.size();
}

}  // namespace

bool decode_text_escapes(const char* text, std::string& bytes) {
    bytes.clear();
    for (const char* c = text; *c; ++c) {
        if (*c != '\\') {
            bytes += *c;
            continue;
        }
        switch (*++c) {
            case 'n': bytes += '\n'; break;
            case 'r': bytes += '\r'; break;
            case 't': bytes += '\t'; break;
            case '\\': bytes += '\\'; break;
            case 'x': {
                const int high = hex_digit(c[1]);
                const int low = high < 0 ? -1 : hex_digit(c[2]);
                if (low < 0) return false;
                bytes += static_cast<char>(high * 16 + low);
                c += 2;
                break;
            }
            default: return false;  // a lone backslash at the end too
        }
    }
    return !bytes.empty();
}

bool read_timeout_tenths(const char* text, int& tenths) {
    constexpr long MAX_SECONDS = 1'000'000;
    long seconds = 0;
    const char* c = text;
    for (; *c >= '0' && *c <= '9'; ++c) {
        seconds = seconds * 10 + (*c - '0');
        if (seconds > MAX_SECONDS) return false;
    }
    if (c == text) return false;
    long tenth = 0;
    if (*c == '.') {
        if (c[1] < '0' || c[1] > '9') return false;
        tenth = c[1] - '0';
        c += 2;
    }
    const long total = seconds * 10 + tenth;
    if (*c || total == 0 || total > MAX_SECONDS * 10) return false;
    tenths = static_cast<int>(total);
    return true;
}

void OutputMatcher::watch(std::vector<WatchedText>& texts, const char* typed) {
    WatchedText text{typed, {}, false};
    decode_text_escapes(typed, text.bytes);
    keep_ = std::max(keep_, text.bytes.size() - 1);
    texts.push_back(std::move(text));
}

void OutputMatcher::expect(const char* typed) { watch(expected, typed); }

void OutputMatcher::error_on(const char* typed) { watch(errors, typed); }

bool OutputMatcher::expecting() const {
    return std::any_of(expected.begin(), expected.end(), [](const WatchedText& text) { return !text.seen; });
}

Verdict OutputMatcher::feed(const char* bytes, std::size_t n) {
    if (verdict != Verdict::pending || n == 0) return verdict;
    const std::string window = tail_ + std::string(bytes, n);
    // A text wholly inside the kept tail was looked for with the batch before.
    std::size_t first_error_end = std::string::npos;
    const WatchedText* first_error = nullptr;
    for (const WatchedText& text : errors) {
        const std::size_t end = match_end(window, text.bytes);
        if (end < first_error_end) first_error_end = end, first_error = &text;
    }
    std::size_t last_expected_end = 0;
    bool all_seen = !expected.empty();
    for (WatchedText& text : expected) {
        if (text.seen) continue;
        const std::size_t end = match_end(window, text.bytes);
        if (end == std::string::npos) {
            all_seen = false;
            continue;
        }
        last_expected_end = std::max(last_expected_end, end);
        // Texts seen after the error text are not counted.
        text.seen = end <= first_error_end;
    }
    if (first_error && (!all_seen || first_error_end <= last_expected_end)) {
        verdict = Verdict::error_seen;
        error_seen = first_error;
    } else if (all_seen) {
        verdict = Verdict::all_seen;
    }
    tail_ = window.substr(window.size() - std::min(window.size(), keep_));
    return verdict;
}

namespace {

using Clock = std::chrono::steady_clock;

OutputMatcher watch;
bool started = false;
Clock::time_point deadline;

bool timed_out() { return settings.timeout_tenths > 0 && Clock::now() >= deadline; }

// "PASS" or "PASS", "READY"; only the texts whose seen is as asked.
std::string quoted(const std::vector<WatchedText>& texts, bool seen) {
    std::string list;
    for (const WatchedText& text : texts) {
        if (text.seen != seen) continue;
        if (!list.empty()) list += ", ";
        list += std::string("\"") + text.typed + "\"";
    }
    return list;
}

std::string seconds_text(int tenths) {
    char text[32];
    if (tenths % 10)
        std::snprintf(text, sizeof text, "%d.%d s", tenths / 10, tenths % 10);
    else
        std::snprintf(text, sizeof text, "%d s", tenths / 10);
    return text;
}

// The closing line and the exit code that goes with it.
std::string closing_line(int& code) {
    code = EXIT_QUIET;
    if (watch.verdict == Verdict::error_seen) {
        code = EXIT_ERROR_TEXT;
        return std::string("Error text seen: \"") + watch.error_seen->typed + "\"";
    }
    const std::size_t expected = watch.expected.size();
    if (watch.verdict == Verdict::all_seen)
        return (expected == 1 ? "Expected text seen: " : "Expected texts seen: ") + quoted(watch.expected, true);
    const std::string why = timed_out() ? "Time-out after " + seconds_text(settings.timeout_tenths)
                                        : std::string("No port and no more input");
    if (!watch.expecting()) return why + (watch.errors.empty() ? "" : ", no error text seen");
    code = EXIT_TIME_OUT;
    const std::string missing = quoted(watch.expected, false);
    const bool one = missing.find("\", \"") == std::string::npos;
    return why + (one ? ", expected text not seen: " : ", expected texts not seen: ") + missing;
}

}  // namespace

void unattended_start() {
    if (started || !unattended_run(settings)) return;
    started = true;
    for (const char* text : settings.expect_texts) watch.expect(text);
    for (const char* text : settings.error_texts) watch.error_on(text);
    deadline = Clock::now() + std::chrono::milliseconds(100LL * settings.timeout_tenths);
}

void unattended_feed(const char* bytes, std::size_t n) {
    if (started) watch.feed(bytes, n);
}

int unattended_wait_ms(int wait_ms) {
    if (!started || settings.timeout_tenths <= 0) return wait_ms;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int left_ms = left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
    return wait_ms < 0 ? left_ms : std::min(wait_ms, left_ms);
}

bool unattended_over() { return started && (watch.verdict != Verdict::pending || timed_out()); }

bool unattended_expecting() { return started && watch.expecting(); }

void unattended_finish() {
    int code = EXIT_QUIET;
    const std::string line = closing_line(code);
    std::printf("\n%s\n", line.c_str());
    std::fflush(stdout);
    if (settings.log_fd > 0) {
        const std::string logged = "\r\n" + line + "\r\n";
        log_file_write(settings.log_fd, logged.data(), logged.size());
        log_file_close(settings.log_fd);
    }
    exit_program(code);
}
