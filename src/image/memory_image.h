// A firmware image as read from a file: which addresses it gives a value, and the values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The MSP430X reaches 1 MB; no image can place a byte above it, which also bounds what a
// hostile file can make the reader hold.
inline constexpr std::uint32_t IMAGE_ADDRESS_LIMIT = 0x100000;

class MemoryImage {
public:
    // Gives address a value. False when the address lies beyond IMAGE_ADDRESS_LIMIT, or when
    // the image already gives it another value (`previous` then holds that value).
    bool put(std::uint32_t address, std::uint8_t value, std::uint8_t& previous);

    bool has(std::uint32_t address) const { return address < present_.size() && present_[address]; }
    std::uint8_t at(std::uint32_t address) const { return bytes_[address]; }
    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    // The lowest and the highest address the image gives; meaningful only when not empty.
    std::uint32_t lowest() const { return lowest_; }
    std::uint32_t highest() const { return highest_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<bool> present_;
    std::size_t count_ = 0;
    std::uint32_t lowest_ = 0, highest_ = 0;
};

// Splits a text file, read whole, into lines. Every line end counts: LF, CR LF and CR alone.
// The line handed out has no end, and lines and the whole text are bounded so that an endless
// line or a text of gigabytes ends in an error instead of taking minutes.
class LineReader {
public:
    static constexpr std::size_t MAX_LINE = 4096;
    // A full 1 MB image takes about 3 MB in either format.
    static constexpr long long MAX_FILE = 16LL << 20;

    explicit LineReader(std::string_view text) : rest_(text) {}
    // False at the end of the text, or on an error (error() then says which).
    bool next(std::string_view& line);
    int line_number() const { return line_number_; }
    const std::string& error() const { return error_; }

private:
    std::string_view rest_;
    int line_number_ = 0;
    long long consumed_ = 0;
    std::string error_;
};

// One of the two text formats, fed line by line. Each returns false with a text (without the
// line number, which the caller adds) at the first fault.
class ImageFormatReader {
public:
    virtual ~ImageFormatReader() = default;
    virtual bool take_line(std::string_view line, std::string& error) = 0;
    // True once the file's end marker has been read; later lines are not looked at.
    virtual bool done() const = 0;
    // Called at the end of the file when done() never became true: why the file is refused, or
    // an empty text when the format does without its end marker.
    virtual std::string missing_end() const = 0;
};

// Helpers the two formats share.
// Gives address a value as MemoryImage::put does; when it cannot, `error` says why in the
// words both readers use.
bool put_byte(MemoryImage& image, std::uint32_t address, std::uint8_t value, std::string& error);
std::string beyond_limit_text(std::uint32_t address);
int hex_digit(char c);  // -1 when c is not a hex digit
inline constexpr char HEX_DIGITS[] = "0123456789ABCDEF";  // what the writers put for 0..15
std::string describe_char(char c);  // 'x', or \xNN when it cannot be shown
std::string_view trim(std::string_view text);
