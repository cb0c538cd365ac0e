// The image readers fed arbitrary file contents from memory; an image accepted reads back the
// same after a writer has written it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "image/intel_hex.h"
#include "image/image_file.h"
#include "image/ti_txt.h"

enum class FuzzImageWriter { intel_hex, ti_txt, intel_hex_of_image };

inline constexpr const char* FUZZ_IMAGE_NAME = "fuzz.img";

inline int fuzz_read_image(const void* data, std::size_t size, MemoryImage& image, std::string& error) {
    // fmemopen refuses an empty buffer on older C libraries; an empty file is /dev/null.
    std::FILE* file = size == 0 ? std::fopen("/dev/null", "rb") : fmemopen(const_cast<void*>(data), size, "rb");
    FUZZ_CHECK(file != nullptr);
    const int result = read_image_stream(file, FUZZ_IMAGE_NAME, image, error);
    std::fclose(file);
    return result;
}

// The read-out writers write gaps as erased flash (0xFF); the writer for the vendor's library
// leaves them out.
inline void fuzz_image_round_trip(const MemoryImage& image, FuzzImageWriter writer) {
    const std::uint32_t low = image.lowest();
    std::vector<std::uint8_t> span(image.highest() - low + 1, 0xFF);
    for (std::uint32_t i = 0; i < span.size(); ++i)
        if (image.has(low + i)) span[i] = image.at(low + i);

    char* text = nullptr;
    std::size_t text_size = 0;
    std::FILE* out = open_memstream(&text, &text_size);
    FUZZ_CHECK(out != nullptr);
    const bool written = writer == FuzzImageWriter::intel_hex_of_image ? write_intel_hex(out, image)
                         : writer == FuzzImageWriter::ti_txt ? write_ti_txt(out, low, span.data(), span.size())
                                                             : write_intel_hex(out, low, span.data(), span.size());
    std::fclose(out);
    FUZZ_CHECK(written);
    MemoryImage again;
    std::string error;
    const int result = fuzz_read_image(text, text_size, again, error);
    std::free(text);
    if (result != IMAGE_OK) std::fprintf(stderr, "read back: %s\n", error.c_str());
    FUZZ_CHECK(result == IMAGE_OK);

    const bool as_is = writer == FuzzImageWriter::intel_hex_of_image;
    FUZZ_CHECK(again.size() == (as_is ? image.size() : span.size()));
    FUZZ_CHECK(again.lowest() == low && again.highest() == image.highest());
    for (std::uint32_t i = 0; i < span.size(); ++i) {
        const bool has = !as_is || image.has(low + i);
        FUZZ_CHECK(again.has(low + i) == has && (!has || again.at(low + i) == span[i]));
    }
}

inline void fuzz_image_reader(const std::uint8_t* data, std::size_t size, FuzzImageWriter writer) {
    MemoryImage image;
    std::string error;
    const int result = fuzz_read_image(data, size, image, error);
    // From memory nothing can fail to read: every refusal is about the content.
    FUZZ_CHECK(result == IMAGE_OK || result == IMAGE_FORMAT);
    if (result != IMAGE_OK) {
        const std::string name = FUZZ_IMAGE_NAME;
        FUZZ_CHECK(error.starts_with(name + " line ") || error.starts_with(name + ": "));
        return;
    }
    if (image.empty()) return;
    FUZZ_CHECK(image.lowest() <= image.highest() && image.highest() < IMAGE_ADDRESS_LIMIT);
    FUZZ_CHECK(image.has(image.lowest()) && image.has(image.highest()));
    FUZZ_CHECK(image.size() <= image.highest() - image.lowest() + 1);
    // Writing out a long span for every input would slow the search to a crawl; a short span
    // still meets everything the writers do, a 64K page boundary included (0xFFF8..0x10007).
    if (image.highest() - image.lowest() >= 0x1000) return;
    fuzz_image_round_trip(image, writer);
}

template <FuzzImageWriter writer>
inline void fuzz_image_entry(const std::uint8_t* data, std::size_t size) { fuzz_image_reader(data, size, writer); }
