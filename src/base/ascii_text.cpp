#include "base/ascii_text.h"

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool ascii_equal(const char* text, const char* word) {
    for (; *text && *word; ++text, ++word)
        if (fold(*text) != fold(*word)) return false;
    return *text == 0 && *word == 0;
}

bool ascii_starts_with(const char* text, const char* word) {
    for (; *word; ++text, ++word)
        if (*text == 0 || fold(*text) != fold(*word)) return false;
    return true;
}

namespace {

// Leading white space and the sign; returns the first digit's place.
const char* skip_to_digits(const char* text, bool& negative) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    return text;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

long read_integer(const char* text) {
    bool negative;
    text = skip_to_digits(text, negative);
    // Unsigned arithmetic: an endless digit string wraps instead of being undefined.
    unsigned long value = 0;
    for (; is_digit(*text); ++text) value = value * 10 + static_cast<unsigned long>(*text - '0');
    if (negative) value = 0UL - value;
    return static_cast<long>(value);
}

long long read_integer_bounded(const char* text, long long limit) {
    bool negative;
    text = skip_to_digits(text, negative);
    long long value = 0;
    for (; is_digit(*text) && value < limit; ++text) value = value * 10 + (*text - '0');
    if (value > limit) value = limit;
    return negative ? -value : value;
}
