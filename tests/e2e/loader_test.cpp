// The loader, tried on a small program copied into a temporary folder with or without a library
// beside it: none, one that lacks a function, and the simulator built as a shared library.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/process.h"
#include "support/scratch_folder.h"

namespace fs = std::filesystem;

TEST(VendorLibrary, MissingIncompleteOrBesideTheProgram) {
    const ScratchFolder folder;
    const std::string probe = folder.path("probe"), library = folder.path("libmsp430.so");
    fs::copy_file(KESTO_LOADER_PROBE, probe);
    const auto run = [&probe] {
        return run_process([&probe] {
            char* argv[] = {const_cast<char*>(probe.c_str()), nullptr};
            char* env[] = {nullptr};  // no library path: only the folder beside counts
            execve(probe.c_str(), argv, env), _exit(127);
        });
    };
    const std::string head = "failed: Cannot load the FET library libmsp430.so: ", tail = ". Put the vendor's "
        "libmsp430.so beside kesto or on the library path, or use -FET SIM for the simulated adapter\n";
    ProcessRun out = run();
    EXPECT_EQ(out.text, head + "libmsp430.so: cannot open shared object file: No such file or directory" + tail);
    EXPECT_EQ(out.status, 1);
    fs::copy_file(KESTO_PARTIAL_LIBRARY, library);
    out = run();
    EXPECT_EQ(out.text, head + "it lacks MSP430_Secure (" + library + ": undefined symbol: MSP430_Secure)" + tail);
    EXPECT_EQ(out.status, 1);
    fs::copy_file(KESTO_SIM_LIBRARY, library, fs::copy_options::overwrite_existing);
    out = run();
    EXPECT_EQ(out.text, "version 100, device MSP430F5529\n");
    EXPECT_EQ(out.status, 0);
}
