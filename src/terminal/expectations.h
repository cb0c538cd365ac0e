// Unattended runs: the texts the board's output must show (-expect), the texts that end the run
// at once (-error), and the time limit (-timeout), watched on the output as it is shown.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Turns the escapes \n \r \t \xNN and \\ of a command-line text into their bytes. False for any
// other escape, \x without two hexadecimal digits, and a text that comes out empty.
bool decode_text_escapes(const char* text, std::string& bytes);

// "20" or "2.5" (whole seconds, or one decimal) as tenths of a second; false for anything else,
// for 0, and for more than a million seconds.
bool read_timeout_tenths(const char* text, int& tenths);

enum class Verdict { pending, all_seen, error_seen };

struct WatchedText {
    const char* typed;  // as given on the command line, escapes and all: shown in the closing line
    std::string bytes;
    bool seen = false;
};

// Fed the output batch by batch; keeps the end of the output that a text beginning in one batch
// and ending in the next needs.
struct OutputMatcher {
    std::vector<WatchedText> expected;
    std::vector<WatchedText> errors;
    Verdict verdict = Verdict::pending;
    const WatchedText* error_seen = nullptr;

    // typed must hold a valid text (decode_text_escapes) and live as long as the matcher.
    void expect(const char* typed);
    void error_on(const char* typed);
    // Of what comes in one batch, what comes first decides: an error text ending before the last
    // expected text does ends the run as an error, and the other way round.
    Verdict feed(const char* bytes, std::size_t n);
    bool expecting() const;

private:
    std::string tail_;
    std::size_t keep_ = 0;
    void watch(std::vector<WatchedText>& texts, const char* typed);
};

// The run's watch, built from the settings at the terminal's first start, when its clock starts
// too; later starts (after F9, F4 or a lost port) go on with the same watch and the same clock.
void unattended_start();
void unattended_feed(const char* bytes, std::size_t n);
// The time limit for a wait that would take up to wait_ms (negative: no limit): the time left
// when that is shorter.
int unattended_wait_ms(int wait_ms);
// True when the run is to end: a verdict came, or the time is up.
bool unattended_over();
// True while -expect texts are still to be seen.
bool unattended_expecting();
// Shows and logs the closing line, closes the log and ends the program with the run's status:
// 0 all expected texts seen (or a time-out with none expected), 5 an error text seen, 6 expected
// texts not all seen.
[[noreturn]] void unattended_finish();
