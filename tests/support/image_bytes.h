// An image's bytes as an ordered map, so that a test compares two images in one line.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "image/memory_image.h"
#include "support/scratch_folder.h"

using ImageBytes = std::map<std::uint32_t, std::uint8_t>;

inline ImageBytes bytes_of(const MemoryImage& image) {
    ImageBytes bytes;
    for (std::uint32_t at = image.lowest(); !image.empty() && at <= image.highest(); ++at)
        if (image.has(at)) bytes[at] = image.at(at);
    return bytes;
}

inline ImageBytes bytes_of_file(const std::string& path) {
    MemoryImage image;
    std::string error;
    EXPECT_EQ(read_image_file(path.c_str(), image, error), IMAGE_OK) << error;
    return bytes_of(image);
}

// The read-out covers first..last and holds the image, erased memory (FF) where it has nothing.
inline void expect_read_back(const std::string& image, const std::string& out, std::uint32_t first,
                             std::uint32_t last) {
    const ImageBytes written = bytes_of_file(image), read = bytes_of_file(out);
    ImageBytes expected;
    for (std::uint32_t at = first; at <= last; ++at) expected[at] = written.count(at) ? written.at(at) : 0xFF;
    const auto differs = std::mismatch(read.begin(), read.end(), expected.begin(), expected.end()).first;
    EXPECT_TRUE(read == expected) << out << " differs from " << image << " from 0x" << std::hex
                                  << (differs == read.end() ? last : differs->first);
}

// The refusal has the file's name taken off the front.
struct ImageRead {
    bool ok = false;
    ImageBytes bytes;
    std::string error;
};

inline ImageRead read_image_text(const std::string& text) {
    const ScratchFolder scratch;
    const std::string path = scratch.write("image", text);
    MemoryImage image;
    ImageRead read;
    read.ok = read_image_file(path.c_str(), image, read.error) == IMAGE_OK;
    read.bytes = bytes_of(image);
    if (read.error.starts_with(path)) read.error.erase(0, path.size());
    return read;
}

inline void expect_read_as(const std::string& text, const ImageBytes& bytes) {
    const ImageRead read = read_image_text(text);
    EXPECT_TRUE(read.ok) << text << read.error;
    EXPECT_EQ(read.bytes, bytes) << text;
}

inline void expect_refused(const std::string& text, const std::string& why) {
    const ImageRead read = read_image_text(text);
    EXPECT_FALSE(read.ok) << text.substr(0, 40);
    EXPECT_EQ(read.error, why) << text.substr(0, 40);
}

// The read-out file of bytes 0, 7, 14, ... from address on.
inline std::string written_image(bool intel_hex, std::uint32_t address, std::size_t count) {
    std::vector<std::uint8_t> data(count);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const ScratchFolder scratch;
    std::string error;
    if (!write_image_file(scratch.path("out").c_str(), intel_hex, address, data, error)) return "<failed: " + error + ">";
    return scratch.read("out");
}
