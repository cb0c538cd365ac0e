// The vendor's list of errors numbers them in order from 0.
#include "chip/sim_errors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

TEST(SimErrors, EachNumberHasItsOwnTextAndTheVendorsOne) {
    std::map<std::string, int> seen;
    const std::string unknown = sim_error_text(-1);
    for (int n = 0; n < 200; ++n)
        if (const std::string text = sim_error_text(n); text != unknown) {
            EXPECT_TRUE(seen.emplace(text, n).second) << n << " and " << seen[text] << ": " << text;
        }
    EXPECT_GE(seen.size(), 12u);
    std::string source = std::getenv("KESTO_VENDOR_SOURCE") ? std::getenv("KESTO_VENDOR_SOURCE") : "";
#ifdef KESTO_VENDOR_SOURCE_DIR
    if (source.empty()) source = KESTO_VENDOR_SOURCE_DIR;
#endif
    if (source.empty()) GTEST_SKIP() << "KESTO_VENDOR_SOURCE names no copy of the vendor's debug stack";
    std::ifstream in(source + "/DLL430_v3/include/MSP430.h");
    ASSERT_TRUE(in);
    std::vector<std::string> vendor;
    for (std::string line; std::getline(in, line);)
        if (const std::size_t at = line.find("ERROR_DEF("); at != std::string::npos && line.find("#define") == std::string::npos) {
            const std::size_t open = line.find('"', at);
            vendor.push_back(line.substr(open + 1, line.rfind('"') - open - 1));
        }
    for (const auto& [text, n] : seen) {
        ASSERT_LT(static_cast<std::size_t>(n), vendor.size());
        EXPECT_EQ(text, vendor[static_cast<std::size_t>(n)]) << n;
    }
}
