// Intel HEX: the reader for images and the writer for read-outs.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/memory_image.h"

// Accepts data (00), end of file (01), extended segment address (02) and extended linear
// address (04) records; start address records (03, 05) are accepted and ignored, as the
// simulated target has no use for them.
class IntelHexReader : public ImageFormatReader {
public:
    explicit IntelHexReader(MemoryImage& image) : image_(image) {}
    bool take_line(std::string_view line, std::string& error) override;
    bool done() const override { return done_; }
    std::string missing_end() const override;

private:
    bool take_data(std::uint32_t offset, const std::uint8_t* data, int count, std::string& error);

    MemoryImage& image_;
    std::uint32_t base_ = 0;
    bool done_ = false;
};

// Writes count bytes that begin at address as 16-byte data records, with an extended linear
// address record before the first record of every 64K above the first, then the end record.
// False when the file reports a write error.
bool write_intel_hex(std::FILE* file, std::uint32_t address, const std::uint8_t* data, std::size_t count);
