// The loader, tried on a small program copied into a temporary folder with or without a library
// beside it: none, one that lacks a function, and the simulator built as a shared library.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/pty_harness.h"

namespace fs = std::filesystem;

TEST(VendorLibrary, MissingIncompleteOrBesideTheProgram) {
    const ScratchFolder folder;
    const std::string probe = folder.path("probe"), library = folder.path("libmsp430.so");
    fs::copy_file(KESTO_LOADER_PROBE, probe);
    const std::string head = "failed: Cannot load the FET library libmsp430.so: ", tail = ". Put the vendor's "
        "libmsp430.so beside kesto or on the library path, or use -FET SIM for the simulated adapter\n";
    const struct { const char* beside; std::string text; int status; } cases[] = {
        {nullptr, head + "libmsp430.so: cannot open shared object file: No such file or directory" + tail, 1},
        {KESTO_PARTIAL_LIBRARY,
         head + "it lacks MSP430_Secure (" + library + ": undefined symbol: MSP430_Secure)" + tail, 1},
        {KESTO_UNIDENTIFIED_LIBRARY, head + "it lacks both MSP430_Identify and MSP430_OpenDevice, one of which every "
         "generation of it exports (" + library + ": undefined symbol: MSP430_Identify)" + tail, 1},
        {KESTO_SIM_LIBRARY, "current generation, version 100, device MSP430F5529\n", 0},
        {KESTO_SIM_ORIGINAL_LIBRARY, "original generation, version 100, device MSP430F5529\n", 0},
    };
    for (const auto& c : cases) {
        if (c.beside) fs::copy_file(c.beside, library, fs::copy_options::overwrite_existing);
        const ProcessRun run = run_process([&probe] {
            char* argv[] = {const_cast<char*>(probe.c_str()), nullptr};
            char* env[] = {nullptr};  // no library path: only the folder beside counts
            execve(probe.c_str(), argv, env), _exit(127);
        });
        EXPECT_EQ(run.text, c.text);
        EXPECT_EQ(run.status, c.status);
    }
}
