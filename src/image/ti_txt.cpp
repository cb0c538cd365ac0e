#include "image/ti_txt.h"

#include <algorithm>

#include "base/error_text.h"

namespace {

// Longer than any address the MSP430 has, short enough that the value cannot overflow.
constexpr std::size_t MAX_ADDRESS_DIGITS = 8;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

// A token shown in a message, cut so that a long run of garbage does not flood the line, and
// with its control bytes spelled out.
std::string shown(std::string_view token) {
    constexpr std::size_t MAX_SHOWN = 12;
    if (token.size() <= MAX_SHOWN) return printable_text(token);
    return printable_text(token.substr(0, MAX_SHOWN)) + "...";
}

}  // namespace

bool TiTxtReader::take_line(std::string_view line, std::string& error) {
    if (line.empty()) return true;
    if (line.front() == '@') return take_address(line.substr(1), error);
    if (line == "q" || line == "Q") {
        done_ = true;
        return true;
    }
    if (!have_address_) {
        error = "data before the first @address line";
        return false;
    }
    while (!line.empty()) {
        std::size_t end = 0;
        while (end < line.size() && !is_blank(line[end])) ++end;
        if (!take_byte(line.substr(0, end), error)) return false;
        line.remove_prefix(end);
        while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
    }
    return true;
}

bool TiTxtReader::take_address(std::string_view text, std::string& error) {
    if (text.empty()) {
        error = "an @ line needs an address in hex";
        return false;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int digit = hex_digit(text[i]);
        if (digit < 0) {
            error = error_text("%s in the address \"@%s\" is not a hex digit", describe_char(text[i]).c_str(),
                               shown(text).c_str());
            return false;
        }
        if (i == MAX_ADDRESS_DIGITS) {
            error = error_text("the address \"@%s\" has more than %zu digits", shown(text).c_str(), MAX_ADDRESS_DIGITS);
            return false;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    if (value >= IMAGE_ADDRESS_LIMIT) {
        error = beyond_limit_text(value);
        return false;
    }
    address_ = value;
    have_address_ = true;
    return true;
}

bool TiTxtReader::take_byte(std::string_view token, std::string& error) {
    for (char c : token) {
        if (hex_digit(c) < 0) {
            error = error_text("%s in \"%s\" is not a hex digit", describe_char(c).c_str(), shown(token).c_str());
            return false;
        }
    }
    if (token.size() != 2) {
        error = error_text("\"%s\" is not a byte: a byte is two hex digits", shown(token).c_str());
        return false;
    }
    const auto value = static_cast<std::uint8_t>(hex_digit(token[0]) * 16 + hex_digit(token[1]));
    if (!put_byte(image_, address_, value, error)) return false;
    ++address_;
    return true;
}

// Some tools leave the closing "q" out, so a file that simply ends counts as whole.
std::string TiTxtReader::missing_end() const { return ""; }

bool write_ti_txt(std::FILE* file, std::uint32_t address, const std::uint8_t* data, std::size_t count) {
    constexpr std::size_t PER_LINE = 16;
    std::fprintf(file, "@%04X\n", address);
    // One write per line: a read-out of a large part has thousands of them.
    char line[PER_LINE * 3];
    for (std::size_t i = 0; i < count; i += PER_LINE) {
        const std::size_t n = std::min(PER_LINE, count - i);
        for (std::size_t j = 0; j < n; ++j) {
            line[3 * j] = HEX_DIGITS[data[i + j] >> 4];
            line[3 * j + 1] = HEX_DIGITS[data[i + j] & 0xF];
            line[3 * j + 2] = j + 1 == n ? '\n' : ' ';
        }
        std::fwrite(line, 1, 3 * n, file);
    }
    std::fprintf(file, "q\n");
    return !std::ferror(file);
}
