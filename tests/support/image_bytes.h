// An image's bytes as an ordered map from address to value, so that a test compares two images,
// or an image with the bytes it expects, in one line.
#pragma once

#include <cstdint>
#include <map>
#include <string>

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

// What reading a text as an image file gives: its bytes, or the refusal with the file's name
// taken off the front.
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
