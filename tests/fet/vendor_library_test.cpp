// The loader, tried on a small program copied into a temporary folder with or without a library
// beside it: the simulator built as a shared library, or one that lacks a function.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sim/scratch_files.h"
#include "support/capture.h"

namespace fs = std::filesystem;

namespace {

const std::string MISSING_TAIL =
    ". Put the vendor's libmsp430.so beside kesto or on the library path, or use -FET SIM for the simulated adapter\n";

class VendorLibrary : public ::testing::Test {
protected:
    // Copies the probe (and a library, when one is given) into the scratch folder.
    void place(const char* library) {
        fs::copy_file(KESTO_LOADER_PROBE, scratch.path("probe"));
        if (library) fs::copy_file(library, scratch.path("libmsp430.so"));
    }
    // Runs the copied probe with only the environment given.
    Captured run(const std::string& library_path = "") {
        const std::string probe = scratch.path("probe");
        return capture_output([&] {
            std::string variable = "LD_LIBRARY_PATH=" + library_path;
            char* env[] = {variable.data(), nullptr};
            char* argv[] = {const_cast<char*>(probe.c_str()), nullptr};
            execve(probe.c_str(), argv, env);
            _exit(127);
        });
    }

    ScratchFolder scratch;
};

}  // namespace

TEST_F(VendorLibrary, FoundBesideTheProgram) {
    place(KESTO_SIM_LIBRARY);
    const Captured out = run();
    EXPECT_EQ(out.text, "loaded: yes\nversion 100, device MSP430F5529\n");
    EXPECT_EQ(out.status, 0);
}

TEST_F(VendorLibrary, FoundThroughTheLibraryPath) {
    place(nullptr);
    const Captured out = run(fs::path(KESTO_SIM_LIBRARY).parent_path().string());
    EXPECT_EQ(out.text, "loaded: yes\nversion 100, device MSP430F5529\n");
    EXPECT_EQ(out.status, 0);
}

TEST_F(VendorLibrary, AMissingLibraryFailsEveryCallWithTheReason) {
    place(nullptr);
    const Captured out = run();
    EXPECT_EQ(out.text,
              "loaded: no\ninitialize failed: Cannot load the FET library libmsp430.so: libmsp430.so: cannot open "
              "shared object file: No such file or directory" +
                  MISSING_TAIL);
    EXPECT_EQ(out.status, 1);
}

TEST_F(VendorLibrary, AMissingFunctionIsNamed) {
    place(KESTO_PARTIAL_LIBRARY);
    const Captured out = run();
    EXPECT_EQ(out.text, "loaded: no\ninitialize failed: Cannot load the FET library libmsp430.so: it lacks "
                        "MSP430_Secure (" +
                            scratch.path("libmsp430.so") + ": undefined symbol: MSP430_Secure)" + MISSING_TAIL);
    EXPECT_EQ(out.status, 1);
}

TEST_F(VendorLibrary, ABrokenFileBesideTheProgramGivesItsOwnReason) {
    place(nullptr);
    scratch.write("libmsp430.so", "not a library\n");
    // A file beside that does not load leaves the search path to try; when that fails too, the
    // reason given is the one of the file beside, which the user most likely meant.
    const Captured out = run(fs::path(KESTO_SIM_LIBRARY).parent_path().string());
    EXPECT_EQ(out.text.rfind("loaded: yes\n", 0), 0u) << out.text;
    const Captured alone = run();
    EXPECT_EQ(alone.status, 1);
    EXPECT_NE(alone.text.find(scratch.path("libmsp430.so") + ": "), std::string::npos) << alone.text;
}
