#include "terminal/render.h"

namespace {

constexpr unsigned char ENQ = 0x05;
constexpr unsigned char BS = 0x08;
constexpr unsigned char TAB = 0x09;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char CR = 0x0D;

// Windows-1251 Cyrillic in UTF-8. The letters А..я sit in one run (U+0410..U+044F), Ё and ё
// apart; every other upper byte has no sure meaning on the board's side and shows as a dot.
int put_cp1251(unsigned char byte, char* out) {
    unsigned code_point = 0;
    if (byte >= 0xC0) {
        code_point = 0x410 + (byte - 0xC0);
    } else if (byte == 0xA8) {
        code_point = 0x401;
    } else if (byte == 0xB8) {
        code_point = 0x451;
    } else {
        out[0] = '.';
        return 1;
    }
    out[0] = static_cast<char>(0xC0 | (code_point >> 6));
    out[1] = static_cast<char>(0x80 | (code_point & 0x3F));
    return 2;
}

}  // namespace

RenderResult render_batch(const unsigned char* bytes, int count, RenderOptions options, char* out) {
    RenderResult result;
    int& n = result.length;
    for (int i = 0; i < count; ++i) {
        const unsigned char byte = bytes[i];
        if (byte >= 0x80) {
            if (options.pass_high) {
                out[n++] = static_cast<char>(byte);
            } else {
                n += put_cp1251(byte, out + n);
            }
        } else if (byte >= 0x20) {
            out[n++] = static_cast<char>(byte);
        } else if (byte == CR) {
            out[n++] = static_cast<char>(CR);
            if (!options.crlf) out[n++] = static_cast<char>(LF);
        } else if (byte == LF) {
            if (options.crlf) out[n++] = static_cast<char>(LF);
        } else if (byte == BS || byte == TAB) {
            out[n++] = static_cast<char>(byte);
        } else if (byte == ENQ) {
            ++result.enquiries;
        }
    }
    return result;
}
