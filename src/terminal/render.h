// How one batch of received bytes is shown: control bytes dropped, line ends adjusted, and the
// upper half of the byte range turned into something a UTF-8 console can show.
#pragma once

// The terminal reads at most this many bytes per batch.
inline constexpr int RX_BATCH_MAX = 510;

// Every received byte renders to at most two bytes (a CR gains an LF, a Cyrillic letter takes
// two bytes of UTF-8), so a buffer of this size never cuts a batch.
inline constexpr int RENDER_MAX_GROWTH = 2;
inline constexpr int RENDER_BUF_SIZE = RX_BATCH_MAX * RENDER_MAX_GROWTH;

struct RenderOptions {
    bool crlf = false;        // CR and LF pass unchanged; otherwise CR becomes CR LF and LF is dropped
    bool pass_high = false;   // bytes 0x80..0xFF pass unchanged; otherwise code page 1251 to UTF-8
};

struct RenderResult {
    int length = 0;      // bytes written to the output
    int enquiries = 0;   // ENQ bytes seen; each one is answered with ACK before the batch is shown
};

// Renders count bytes into out, which must hold count * RENDER_MAX_GROWTH bytes. No terminator.
RenderResult render_batch(const unsigned char* bytes, int count, RenderOptions options, char* out);
