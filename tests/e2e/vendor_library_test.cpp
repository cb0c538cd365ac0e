// The current generation's adapters in the loaded library: a failure the library reports as
// success is the answer to one error query; the next asks the library again.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/pty_harness.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

#if defined(KESTO_LOADER_PROBE) && defined(KESTO_GARBAGE_LIBRARY)
TEST(VendorLibraryCurrentGeneration, NoDeviceIsTheErrorOfOneQuery) {
    const ScratchFolder folder;
    const std::string probe = folder.path("probe");
    std::filesystem::copy_file(KESTO_LOADER_PROBE, probe);
    std::filesystem::copy_file(KESTO_GARBAGE_LIBRARY, folder.path("libmsp430.so"));
    const ProcessRun run = run_process([&probe] { exec_program({probe, "EMPTY"}, std::vector<std::string>{}); });
    EXPECT_EQ(run.text, "failed: Could not find device (or device not supported)\nthen: 0\n");
    EXPECT_EQ(run.status, 1);
}
#endif
