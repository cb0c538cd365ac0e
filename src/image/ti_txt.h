// TI-TXT: the reader for images and the writer for read-outs.
//
//     @C000
//     31 40 00 04 B2 40 80 5A 20 01
//     q
//
// An "@" line sets the address (hex), the lines after it hold bytes as pairs of hex digits
// separated by blanks, and "q" ends the file (a file may also just end).
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/memory_image.h"

class TiTxtReader : public ImageFormatReader {
public:
    explicit TiTxtReader(MemoryImage& image) : image_(image) {}
    bool take_line(std::string_view line, std::string& error) override;
    bool done() const override { return done_; }
    std::string missing_end() const override;

private:
    bool take_address(std::string_view text, std::string& error);
    bool take_byte(std::string_view token, std::string& error);

    MemoryImage& image_;
    std::uint32_t address_ = 0;
    bool have_address_ = false;
    bool done_ = false;
};

// Writes count bytes that begin at address: one "@" line, 16 bytes a line, then "q".
// False when the file reports a write error.
bool write_ti_txt(std::FILE* file, std::uint32_t address, const std::uint8_t* data, std::size_t count);
