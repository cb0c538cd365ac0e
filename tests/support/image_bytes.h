// An image's bytes as an ordered map from address to value, so that a test compares two images,
// or an image with the bytes it expects, in one line.
#pragma once

#include <cstdint>
#include <map>

#include "image/memory_image.h"

using ImageBytes = std::map<std::uint32_t, std::uint8_t>;

inline ImageBytes bytes_of(const MemoryImage& image) {
    ImageBytes bytes;
    for (std::uint32_t at = image.lowest(); !image.empty() && at <= image.highest(); ++at)
        if (image.has(at)) bytes[at] = image.at(at);
    return bytes;
}
