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

long read_integer(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    // Unsigned arithmetic: an endless digit string wraps instead of being undefined.
    unsigned long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + static_cast<unsigned long>(*text - '0');
    if (negative) value = 0UL - value;
    return static_cast<long>(value);
}
