// The parts table against the device database the vendor's library carries, when the vendor's
// debug stack is at hand: the library runs in a child process of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "chip/parts.h"
#include "e2e/pty_harness.h"

namespace {

// The vendor's library lists its database with MSP430_Device once an instance exists. Its names
// are families ("MSP430G2xx3", "MSP430F12x2/F11x2", "F20x2_G2x2x_G2x3x"), an x for any digit;
// a part of ours must agree with one entry its name fits whose main and information memory are
// ours. Its RAM may be larger than the entry's (the F1611's RAM above the mirror the record
// gives, the FR5994's shared with LEA). The records give the small F2xx and G2xx parts, which
// have no BSL, the F2xx's one, and the FR2355's names its BSL in ROM at 0xFFC00 cut to 16 bits,
// where the table keeps the one at 0x1000.
bool fits(const std::string& family_name, const std::string& part) {
    std::string pattern = "(MSP430)?(";
    for (const char c : family_name)
        pattern += c == 'x' ? std::string("[0-9]") : c == '/' || c == '_' ? std::string(")|(MSP430)?(")
                   : std::string(std::isalnum(static_cast<unsigned char>(c)) ? "" : "\\") + c;
    return std::regex_match(part, std::regex(pattern + ")"));
}

TEST(Parts, AgreeWithTheVendorsDeviceDatabase) {
    const std::string path = KESTO_REAL_LIBRARY;
    if (path.empty()) GTEST_SKIP() << "no vendor debug stack given (KESTO_VENDOR_SOURCE)";
    // In a child of its own: the library starts threads and keeps what it allocates.
    const ProcessRun run = run_process([&path] {
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto count = reinterpret_cast<int (*)(std::int32_t*)>(library ? dlsym(library, "MSP430_GetNumberOfUsbIfs") : nullptr);
        const auto device = reinterpret_cast<int (*)(std::int32_t, char*, std::int32_t)>(library ? dlsym(library, "MSP430_Device") : nullptr);
        std::int32_t adapters = 0;
        if (!count || !device || count(&adapters) != 0) return;
        DeviceRecord r{};
        for (std::int32_t i = 0; device(i, r.data(), DEVICE_RECORD_SIZE) == 0; ++i) std::fwrite(r.bytes, 1, DEVICE_RECORD_SIZE, stdout);
    });
    std::vector<DeviceRecord> database(run.text.size() / DEVICE_RECORD_SIZE);
    for (std::size_t k = 0; k < database.size(); ++k)
        std::memcpy(database[k].bytes, run.text.data() + k * DEVICE_RECORD_SIZE, DEVICE_RECORD_SIZE);
    ASSERT_GT(database.size(), 500u);
    // The vendor's emulation levels, from EMEX_NONE to EMEX_LARGE_5XX, as the table's.
    const int emulation[] = {-1, EMULATION_LOW, EMULATION_MEDIUM, EMULATION_HIGH, -1, EMULATION_LOW, -1, EMULATION_EXTRA_HIGH};
    for (const Part& p : all_parts()) {
        SCOPED_TRACE(p.name);
        const std::string name = p.name;
        const DeviceRecord* found = nullptr;
        for (const DeviceRecord& r : database)
            if (fits(r.name(), p.name) && r.word(DEV_FLASH_START) == p.flash_start && r.dword(DEV_FLASH_END) == p.flash_end &&
                r.word(DEV_INFO_START) == p.info_start && r.word(DEV_INFO_END) == p.info_end)
                found = &r;
        ASSERT_NE(found, nullptr) << "no entry of the database fits its name and main and information memory";
        const DeviceRecord& r = *found;
        if (p.bsl_start != 0 && name != "MSP430FR2355") {
            EXPECT_EQ(r.word(DEV_BSL_START), p.bsl_start);
            EXPECT_EQ(r.word(DEV_BSL_END), p.bsl_end);
        }
        EXPECT_EQ(r.word(DEV_BREAKPOINTS), static_cast<std::uint32_t>(p.breakpoints));
        EXPECT_EQ(emulation[r.word(DEV_EMULATION) & 7], p.emulation);
        if (p.memory == FLASH && !name.starts_with("MSP430F5") && !name.starts_with("MSP430F6")) {  // with a fuse
            EXPECT_EQ(r.word(DEV_TEST_VPP), static_cast<std::uint32_t>(p.test_vpp));
        }
        if (r.word(DEV_RAM_START) == p.ram_start) {
            EXPECT_GE(p.ram_end, r.word(DEV_RAM_END));
        }
    }
}

}  // namespace
