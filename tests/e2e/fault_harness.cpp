#include "e2e/fault_harness.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

bool has(const std::vector<std::string>& words, const std::string& word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

}  // namespace

BoardSession::BoardSession(const std::vector<std::string>& options, const std::string& program) {
    if (symlink(line->path.c_str(), link.c_str()) != 0) std::perror("symlink");
    std::vector<std::string> args = {program, link};
    args.insert(args.end(), options.begin(), options.end());
    if (!has(options, "-a")) args.insert(args.end(), {"-a", "0"});
    if (!has(options, "-l")) args.insert(args.end(), {"-l", "board.log"});
    console = std::make_unique<Console>(args, true, dir);
}

BoardSession::~BoardSession() {
    console.reset();
    line.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

bool BoardSession::started() {
    if (!console->wait_for(SHOWN_STARTED)) return false;
    const std::size_t banner = console->text.find(SHOWN_STARTED) + SHOWN_STARTED.size();
    if (!console->wait_for("\r\n", banner)) return false;
    after_banner = console->text.find("\r\n", banner) + 2;
    return true;
}

bool BoardSession::board_says(const std::string& text, const std::string& until) {
    const std::size_t from = console->text.size();
    line->send(text);
    return console->wait_for(until, from);
}

namespace {

// rename() swaps the link in one step: the program never sees a missing name.
void repoint(const std::string& link, const std::string& target) {
    const std::string next = link + ".next";
    if (symlink(target.c_str(), next.c_str()) != 0 || rename(next.c_str(), link.c_str()) != 0) std::perror(link.c_str());
}

}  // namespace

void BoardSession::replug() {
    line = std::make_unique<SerialLine>();
    repoint(link, line->path);
}

void BoardSession::unplug() {
    line->vanish();
    // Not the old pseudo-terminal's name: another test may get that number next.
    repoint(link, dir + "/unplugged");
}

long long cpu_ticks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    // The command name in parentheses may hold blanks; the fields after it are fixed.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = -1, stime = -1;
    // state is field 3; utime and stime are fields 14 and 15.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) utime = std::atoll(field.c_str());
        if (number == 15) stime = std::atoll(field.c_str());
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

double cpu_share_over(pid_t pid, int ms) {
    const long long before = cpu_ticks(pid);
    const long long start = monotonic_ms();
    usleep(static_cast<useconds_t>(ms) * 1000);
    const long long after = cpu_ticks(pid);
    const long long elapsed = monotonic_ms() - start;
    if (before < 0 || after < 0 || elapsed <= 0) return 1.0;
    const double seconds_used = static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return seconds_used * 1000.0 / static_cast<double>(elapsed);
}

bool under_valgrind() {
    const char* value = std::getenv("KESTO_UNDER_VALGRIND");
    return value && value[0] == '1';
}

bool under_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}
