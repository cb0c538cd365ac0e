// Replays every input the fuzzers found a fault with (tests/fuzz/regressions/<target>/) and the
// seed corpora, through the very entries the fuzzers run, each in a child process with a
// deadline: a crash, a sanitizer report or a broken check fails the case without taking the
// other cases down.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/command_line_entry.h"
#include "fuzz/image_entry.h"
#include "fuzz/key_decoder_entry.h"
#include "fuzz/render_entry.h"
#include "support/capture.h"

namespace {

namespace fs = std::filesystem;

using FuzzEntry = void (*)(const std::uint8_t* data, std::size_t size);

std::vector<fs::path> inputs_of(const std::string& target) {
    std::vector<fs::path> files;
    for (const char* kind : {"tests/fuzz/regressions", "fuzz/corpus"}) {
        const fs::path folder = fs::path(KESTO_SOURCE_DIR) / kind / target;
        if (!fs::is_directory(folder)) continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string contents_of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void replay_all(const std::string& target, FuzzEntry entry) {
    const std::vector<fs::path> files = inputs_of(target);
    ASSERT_FALSE(files.empty()) << "no inputs for " << target;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string data = contents_of(file);
        const Captured run = capture_output([&] {
            entry(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        });
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, CAPTURE_RETURNED);
    }
}

void intel_hex_entry(const std::uint8_t* data, std::size_t size) {
    fuzz_image_reader(data, size, FuzzImageWriter::intel_hex);
}

void ti_txt_entry(const std::uint8_t* data, std::size_t size) {
    fuzz_image_reader(data, size, FuzzImageWriter::ti_txt);
}

TEST(FuzzRegressions, IntelHex) { replay_all("intel_hex", intel_hex_entry); }
TEST(FuzzRegressions, TiTxt) { replay_all("ti_txt", ti_txt_entry); }
TEST(FuzzRegressions, CommandLine) { replay_all("command_line", fuzz_command_line); }
TEST(FuzzRegressions, KeyDecoder) { replay_all("key_decoder", fuzz_key_decoder); }
TEST(FuzzRegressions, Render) { replay_all("render", fuzz_render); }

// The entries' own checks have to fire, or a replay that passes proves nothing.
TEST(FuzzRegressions, ChecksFailLoudly) {
    const Captured run = capture_output([] { FUZZ_CHECK(1 + 1 == 3); });
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.signal, SIGABRT);
}

// Two faults the key decoder fuzzer found, spelled out (a modifier out of range, the third, is
// a row of the decoder's own table).
std::vector<int> keys_after_pause(const std::string& input) {
    std::vector<unsigned char> raw(input.begin(), input.end());
    std::vector<unsigned char> keys;
    fuzz_decode_waiting(raw, keys, true);
    return std::vector<int>(keys.begin(), keys.end());
}

TEST(FuzzRegressions, NulAfterTheStartOfASequenceIsAKeyOfItsOwn) {
    // The NUL becomes 0 and 3 and the unfinished sequence before it is dropped; taken into the
    // sequence, it would make "x" read as a key code.
    EXPECT_EQ(keys_after_pause(std::string("\x1b[[\0x", 5)), (std::vector<int>{0, 3, 'x'}));
    EXPECT_EQ(keys_after_pause(std::string("\x1bO\0x", 4)), (std::vector<int>{0, 3, 'x'}));
}

TEST(FuzzRegressions, LongNumberInASequenceIsDropped) {
    // Thirteen digits overflowed the number read before it was looked up.
    EXPECT_EQ(keys_after_pause("\x1b[2666666666666~"), std::vector<int>{});
    EXPECT_EQ(keys_after_pause("\x1b[0000000000015~"), (std::vector<int>{0, 63}));  // F5, however padded
}

}  // namespace
