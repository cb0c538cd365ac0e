// The rendering of received bytes, compared with a reference rendering written here from the
// rules, for each setting of -crlf and -oem. The input is cut into batches of the most the
// terminal reads at once, and each batch is rendered into a buffer of exactly the size the
// renderer asks for, so a byte written past it is caught.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "terminal/render.h"

inline void fuzz_put_utf8(unsigned code_point, std::string& out) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

inline std::string fuzz_reference_render(const unsigned char* bytes, int count, bool crlf, bool oem, int& enquiries) {
    std::string out;
    enquiries = 0;
    for (int i = 0; i < count; ++i) {
        const unsigned char byte = bytes[i];
        switch (byte) {
            case 0x05: ++enquiries; continue;
            case 0x08: case 0x09: out += static_cast<char>(byte); continue;
            case 0x0A: if (crlf) out += '\n'; continue;
            case 0x0D: out += crlf ? "\r" : "\r\n"; continue;
            default: break;
        }
        if (byte < 0x20) continue;
        if (byte < 0x80 || oem) {
            out += static_cast<char>(byte);
        } else if (byte >= 0xC0) {
            fuzz_put_utf8(0x0410 + (byte - 0xC0), out);  // А..я
        } else if (byte == 0xA8) {
            fuzz_put_utf8(0x0401, out);  // Ё
        } else if (byte == 0xB8) {
            fuzz_put_utf8(0x0451, out);  // ё
        } else {
            out += '.';
        }
    }
    return out;
}

inline void fuzz_render(const std::uint8_t* data, std::size_t size) {
    for (std::size_t at = 0; at < size || at == 0; at += RX_BATCH_MAX) {
        const int count = static_cast<int>(std::min<std::size_t>(size - at, RX_BATCH_MAX));
        const std::size_t room = static_cast<std::size_t>(count) * RENDER_MAX_GROWTH;
        FUZZ_CHECK(room <= static_cast<std::size_t>(RENDER_BUF_SIZE));
        for (int setting = 0; setting < 4; ++setting) {
            RenderOptions options;
            options.crlf = (setting & 1) != 0;
            options.pass_high = (setting & 2) != 0;
            const auto out = std::make_unique<char[]>(std::max<std::size_t>(room, 1));
            const RenderResult result = render_batch(data + at, count, options, out.get());
            int enquiries = 0;
            const std::string expected = fuzz_reference_render(data + at, count, options.crlf, options.pass_high, enquiries);
            FUZZ_CHECK(result.length >= 0 && static_cast<std::size_t>(result.length) <= room);
            FUZZ_CHECK(std::string(out.get(), static_cast<std::size_t>(result.length)) == expected);
            FUZZ_CHECK(result.enquiries == enquiries);
        }
        if (size == 0) break;
    }
}
