// The fuzzers' regression inputs and seed corpora, replayed.
#include <gtest/gtest.h>

#include "fuzz/command_line_entry.h"
#include "fuzz/image_entry.h"
#include "fuzz/render_entry.h"
#include "fuzz/replay.h"

namespace {

TEST(FuzzRegressions, ImageReaders) {
    replay_all("intel_hex", fuzz_image_entry<FuzzImageWriter::intel_hex>);
    replay_all("ti_txt", fuzz_image_entry<FuzzImageWriter::ti_txt>);
    replay_all("elf", fuzz_image_entry<FuzzImageWriter::intel_hex_of_image>);
}
TEST(FuzzRegressions, CommandLine) {
    replay_all("command_line", fuzz_command_line);
    // The entry points every COM name nowhere; the other tests get the usual table back.
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) serial_device_set_com_path(n, nullptr);
}
TEST(FuzzRegressions, Render) { replay_all("render", fuzz_render); }

// The entries' own checks have to fire, or a replay that passes proves nothing.
TEST(FuzzRegressions, ChecksFailLoudly) {
    fuzz_failure_handler = throw_fuzz_failure;
    EXPECT_THROW(FUZZ_CHECK(1 + 1 == 3), FuzzCheckFailed);
    fuzz_failure_handler = nullptr;
}

}  // namespace
