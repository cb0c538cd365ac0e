// The rendering of received bytes, checked by properties that hold whatever the rules for single
// bytes say. Each batch goes into a buffer of exactly the size the renderer asks for, so that a
// byte written past it is caught.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "terminal/render.h"

inline std::string fuzz_render_batch(const unsigned char* bytes, int count, RenderOptions options, int& enquiries) {
    const std::size_t room = static_cast<std::size_t>(count) * RENDER_MAX_GROWTH;
    FUZZ_CHECK(room <= static_cast<std::size_t>(RENDER_BUF_SIZE));
    const auto out = std::make_unique<char[]>(std::max<std::size_t>(room, 1));
    const RenderResult result = render_batch(bytes, count, options, out.get());
    FUZZ_CHECK(result.length >= 0 && static_cast<std::size_t>(result.length) <= room);
    enquiries = result.enquiries;
    return std::string(out.get(), static_cast<std::size_t>(result.length));
}

inline bool fuzz_is_utf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

inline void fuzz_render(const std::uint8_t* data, std::size_t size) {
    for (std::size_t at = 0; at < size || at == 0; at += RX_BATCH_MAX) {
        const int count = static_cast<int>(std::min<std::size_t>(size - at, RX_BATCH_MAX));
        const unsigned char* batch = data + at;
        const int split = count == 0 ? 0 : batch[0] % (count + 1);
        const auto enqs = static_cast<int>(std::count(batch, batch + count, 0x05));
        const auto crs = std::count(batch, batch + count, '\r');
        for (int setting = 0; setting < 4; ++setting) {
            const RenderOptions options{(setting & 1) != 0, (setting & 2) != 0};
            int enquiries = 0, first_enquiries = 0, second_enquiries = 0, again_enquiries = 0;
            const std::string shown = fuzz_render_batch(batch, count, options, enquiries);
            FUZZ_CHECK(enquiries == enqs);
            const std::string pieces = fuzz_render_batch(batch, split, options, first_enquiries) +
                                       fuzz_render_batch(batch + split, count - split, options, second_enquiries);
            FUZZ_CHECK(pieces == shown && first_enquiries + second_enquiries == enqs);
            // What is shown holds nothing the renderer would drop or change any more.
            RenderOptions passing = options;
            passing.pass_high = true;
            std::string again;
            for (std::size_t from = 0; from < shown.size(); from += RX_BATCH_MAX) {
                const int piece = static_cast<int>(std::min<std::size_t>(shown.size() - from, RX_BATCH_MAX));
                again += fuzz_render_batch(reinterpret_cast<const unsigned char*>(shown.data()) + from, piece,
                                           passing, again_enquiries);
                FUZZ_CHECK(again_enquiries == 0);
            }
            FUZZ_CHECK(again == shown);
            for (const char c : shown)
                FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\b' || c == '\t' || c == '\n' || c == '\r');
            // Without -crlf each CR is followed by an LF, and those are the only LFs.
            FUZZ_CHECK(std::count(shown.begin(), shown.end(), '\r') == crs);
            if (!options.crlf) {
                std::ptrdiff_t line_ends = 0;
                for (std::size_t i = 0; i + 1 < shown.size(); ++i)
                    line_ends += shown[i] == '\r' && shown[i + 1] == '\n';
                FUZZ_CHECK(line_ends == crs && std::count(shown.begin(), shown.end(), '\n') == crs);
            }
            if (!options.pass_high) FUZZ_CHECK(fuzz_is_utf8(shown));
        }
        if (size == 0) break;
    }
}
