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
    bool segmented_ = false;  // the base came from an extended segment address record
    bool done_ = false;
};

// Writes data records of 16 bytes, with an extended linear address record before the first
// record of every 64K above the first, and at last the end record.
class IntelHexWriter {
public:
    explicit IntelHexWriter(std::FILE* file);
    void data(std::uint32_t address, const std::uint8_t* bytes, std::size_t count);
    // Writes the end record. False when the file reports a write error.
    bool end();

private:
    std::FILE* file_;
    std::uint32_t upper_ = 0;
};

// Writes count bytes that begin at address, then the end record. False when the file reports a
// write error.
bool write_intel_hex(std::FILE* file, std::uint32_t address, const std::uint8_t* data, std::size_t count);

// Writes the bytes the image gives and no others: gaps stay gaps.
bool write_intel_hex(std::FILE* file, const MemoryImage& image);
