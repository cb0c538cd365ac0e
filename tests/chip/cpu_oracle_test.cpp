// The CPU against an MSP430 that nobody here wrote: mspdebug's simulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/elf_image.h"
#include "image/memory_image.h"
#include "chip/cpu_test_bus.h"
#include "support/scratch_folder.h"

namespace {

#if defined(KESTO_CPU_PROGRAM_BUILD) && defined(KESTO_MSPDEBUG)
constexpr std::uint16_t TRAP = 0xFFC0;
// RAM the programs use: the stack below 0x0A00, their data at 0x0300, results from 0x1000.
constexpr unsigned RAM_FROM = 0x0200, RAM_TO = 0x2000;
constexpr std::uint64_t CYCLE_LIMIT = 1'000'000;
constexpr int MSPDEBUG_SECONDS = 30;

struct Machine {
    std::uint16_t reg[16]{};
    std::vector<std::uint16_t> ram;  // words from RAM_FROM
    std::string error;
};

// Where the user's guide (ours) and mspdebug part.
struct Disagreement { const char* program; const char* where; std::uint16_t guide, mspdebug; };
constexpr Disagreement DISAGREEMENTS[] = {
    // POP.B: the guide increments SP by two, as for every pop; mspdebug adds one.
    {"modes", "r1", 0x0A00, 0x09FF},
    {"modes", "0x10c0", 0x0A00, 0x09FF},
    // PUSH.B writes the byte at the new SP and leaves the one above it (blank here, 0xFF);
    // mspdebug writes a word with a zero high byte.
    {"stack", "0x09ea", 0xFFB2, 0x00B2},
    {"stack", "0x09fc", 0xFF34, 0x0034},
};

Machine run_here(const MemoryImage& image) {
    Machine m;
    TestBus bus(RAM_FROM, 0xC000);
    for (std::uint32_t a = image.lowest(); a <= image.highest(); ++a)
        if (image.has(a)) bus.memory[a] = image.at(a);
    Cpu cpu(bus);
    cpu.reset();
    while (!cpu.held() && cpu.reg[0] != TRAP && cpu.cycles() < CYCLE_LIMIT) cpu.run(cpu.cycles() + 1);
    if (cpu.held()) m.error = "held: " + cpu.why();
    if (cpu.reg[0] != TRAP) m.error += " did not reach the trap";
    std::memcpy(m.reg, cpu.reg, sizeof m.reg);
    for (unsigned a = RAM_FROM; a < RAM_TO; a += 2) m.ram.push_back(bus.word(static_cast<std::uint16_t>(a)));
    return m;
}

Machine run_mspdebug(const std::string& elf) {
    Machine m;
    const ScratchFolder scratch;
    const std::string ram = scratch.path("ram.bin");
    char command[768];
    std::snprintf(command, sizeof command,
                  "timeout %d " KESTO_MSPDEBUG " -q -n sim \"prog %s\" \"setbreak 0x%04x\" run regs "
                  "\"save_raw 0x%04x %u %s\" </dev/null 2>&1",
                  MSPDEBUG_SECONDS, elf.c_str(), TRAP, RAM_FROM, RAM_TO - RAM_FROM, ram.c_str());
    FILE* out = popen(command, "r");
    if (!out) return m.error = "cannot start mspdebug", m;
    std::string text;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) text.append(chunk, n);
    if (pclose(out) != 0) m.error = "mspdebug failed:\n" + text;

    // The last register dump: "( PC: 0c014)  ( R4: 00019) ...".
    const std::size_t at = text.rfind("( PC:");
    if (at == std::string::npos) return m.error = "no registers from mspdebug:\n" + text, m;
    for (std::size_t p = at; (p = text.find('(', p)) != std::string::npos; ++p) {
        char name[4]{};
        unsigned value = 0;
        if (std::sscanf(text.c_str() + p, "( %3[A-Z0-9]: %x)", name, &value) != 2) continue;
        int n = !std::strcmp(name, "PC") ? 0 : !std::strcmp(name, "SP") ? 1 : !std::strcmp(name, "SR") ? 2 : -1;
        if (name[0] == 'R') n = std::atoi(name + 1);
        if (n >= 0 && n < 16) m.reg[n] = static_cast<std::uint16_t>(value);
    }
    const std::string saved = read_file(ram);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(saved.data());
    if (saved.size() != RAM_TO - RAM_FROM) m.error += "mspdebug saved no RAM:\n" + text;
    for (std::size_t i = 0; i + 1 < saved.size(); i += 2)
        m.ram.push_back(static_cast<std::uint16_t>(bytes[i] | bytes[i + 1] << 8));
    return m;
}

void compare(const std::string& program, const std::string& where, std::uint16_t ours, std::uint16_t theirs) {
    if (ours == theirs) return;
    char line[160];
    std::snprintf(line, sizeof line, "%s: %s is 0x%04x here, 0x%04x in mspdebug", program.c_str(), where.c_str(), ours,
                  theirs);
    const auto known = std::find_if(std::begin(DISAGREEMENTS), std::end(DISAGREEMENTS),
                                    [&](const Disagreement& d) { return program == d.program && where == d.where; });
    EXPECT_TRUE(known != std::end(DISAGREEMENTS) && ours == known->guide && theirs == known->mspdebug)
        << line << (known == std::end(DISAGREEMENTS) ? "" : " (a known disagreement, not as listed)");
}

#endif

class CpuOracle : public ::testing::TestWithParam<const char*> {};

TEST_P(CpuOracle, AgreesWithMspdebug) {
#if !defined(KESTO_CPU_PROGRAM_BUILD)
    GTEST_SKIP() << "the comparison programs need clang for the MSP430 and ld.lld";
#elif !defined(KESTO_MSPDEBUG)
    GTEST_SKIP() << "the comparison needs mspdebug (apt-get install mspdebug)";
#else
    const std::string program = GetParam();
    const std::string elf = std::string(KESTO_CPU_PROGRAM_BUILD) + "/" + program + ".elf";
    MemoryImage image;
    std::string error;
    ASSERT_TRUE(read_elf_image(read_file(elf), image, error)) << elf << ": " << error;

    const Machine ours = run_here(image), theirs = run_mspdebug(elf);
    ASSERT_EQ(ours.error, "") << program;
    ASSERT_EQ(theirs.error, "") << program;
    char where[8];
    for (int n = 0; n < 16; ++n) {
        std::snprintf(where, sizeof where, "r%d", n);
        compare(program, where, ours.reg[n], theirs.reg[n]);
    }
    for (std::size_t i = 0; i < ours.ram.size(); ++i) {
        std::snprintf(where, sizeof where, "0x%04x", static_cast<unsigned>(RAM_FROM + 2 * i));
        compare(program, where, ours.ram[i], theirs.ram[i]);
    }
#endif
}

INSTANTIATE_TEST_SUITE_P(Programs, CpuOracle,
                         ::testing::Values("arith", "logic", "dadd", "shifts", "modes", "stack", "jumps"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
