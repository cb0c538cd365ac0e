// kesto against the vendor's own library, built from its published source (KESTO_VENDOR_SOURCE
// at configure time).
#include <gtest/gtest.h>

#include "e2e/beside_library.h"

namespace {

const std::string REAL = KESTO_REAL_LIBRARY;

#define NEEDS_REAL_LIBRARY() \
    if (REAL.empty()) GTEST_SKIP() << "configured without KESTO_VENDOR_SOURCE: no real library to run against"

const std::string NOT_FOUND = "Initializing FET -Could not find MSP-FET430UIF on specified COM port\n";
const std::string HINT = "  Is the adapter plugged in, and may you open it?";

}  // namespace

TEST(RealLibrary, WithoutAnAdapter) {
    NEEDS_REAL_LIBRARY();
    const BesideLibrary kesto(REAL.c_str());
    const struct { std::vector<std::string> args; std::string text; int status; } cases[] = {
        {{"-fl"}, "FET Port not Found\n", 0},
        {{"-a", "0", "+ebpv", "blink.hex"}, NOT_FOUND + HINT, 1},
        {{"-a", "0", "-FET", "ttyACM7", "+e"}, NOT_FOUND + HINT, 1},
        {{"-a", "0", "-FET", "LPT1", "+e"},
         "Initializing FET -Parallel port FET (MSP-FETP430IF) is no longer supported.\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProcessRun run = kesto.run(c.args);
        EXPECT_NE(run.text.find(c.text), std::string::npos) << run.text;
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.text.find(HINT) != std::string::npos, c.text.find(HINT) != std::string::npos);
    }
}
