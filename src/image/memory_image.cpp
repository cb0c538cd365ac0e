#include "image/memory_image.h"

#include <algorithm>

#include "base/error_text.h"

bool MemoryImage::put(std::uint32_t address, std::uint8_t value, std::uint8_t& previous) {
    if (address >= IMAGE_ADDRESS_LIMIT) return false;
    if (address >= bytes_.size()) {
        // Grow in steps of 64K so that a file written in ascending order does not reallocate
        // for every record.
        const std::size_t size = std::min<std::size_t>((address | 0xFFFF) + 1, IMAGE_ADDRESS_LIMIT);
        bytes_.resize(size, 0xFF);
        present_.resize(size, false);
    }
    if (present_[address]) {
        previous = bytes_[address];
        return previous == value;
    }
    present_[address] = true;
    bytes_[address] = value;
    if (count_ == 0 || address < lowest_) lowest_ = address;
    if (count_ == 0 || address > highest_) highest_ = address;
    ++count_;
    return true;
}

bool LineReader::next(std::string_view& line) {
    if (!error_.empty() || rest_.empty()) return false;
    ++line_number_;
    const std::size_t end = std::min(rest_.find_first_of("\r\n"), rest_.size());
    if (end > MAX_LINE) {
        error_ = error_text("line %d: the line is longer than %zu characters", line_number_, MAX_LINE);
        return false;
    }
    line = rest_.substr(0, end);
    std::size_t next = end;
    if (next < rest_.size() && rest_[next] == '\r') ++next;
    if (next < rest_.size() && rest_[next] == '\n') ++next;
    rest_.remove_prefix(next);
    consumed_ += static_cast<long long>(line.size()) + 1;
    if (consumed_ > MAX_FILE) {
        error_ = error_text("line %d: the file is larger than %lld MB, more than any MSP430 image can be",
                            line_number_, MAX_FILE >> 20);
        return false;
    }
    return true;
}

std::string beyond_limit_text(std::uint32_t address) {
    return error_text("address 0x%X lies beyond the 1 MB an MSP430 can address", address);
}

bool put_byte(MemoryImage& image, std::uint32_t address, std::uint8_t value, std::string& error) {
    std::uint8_t previous = 0;
    if (image.put(address, value, previous)) return true;
    if (address >= IMAGE_ADDRESS_LIMIT)
        error = beyond_limit_text(address);
    else
        error = error_text("address 0x%04X is given %02X here but %02X earlier in the file", address, value, previous);
    return false;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string describe_char(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return error_text("'%c'", c);
    return error_text("\\x%02X", u);
}

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}
