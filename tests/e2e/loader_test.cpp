// The loader, then kesto itself beside each generation of the shared simulator and beside a
// library that leaves garbage above its 32-bit results.
#include <gtest/gtest.h>

#include "e2e/beside_library.h"

namespace fs = std::filesystem;

TEST(VendorLibrary, MissingOrIncompleteBesideTheProgram) {
    const ScratchFolder folder;
    const std::string probe = folder.path("probe"), library = folder.path("libmsp430.so");
    fs::copy_file(KESTO_LOADER_PROBE, probe);
    const std::string head = "failed: Cannot load the FET library libmsp430.so: ", tail = ". Put the vendor's "
        "libmsp430.so beside kesto or on the library path, or use -FET SIM for the simulated adapter\n";
    const struct { const char* beside; std::string text; const char* fet_port = nullptr; } cases[] = {
        {nullptr, head + "libmsp430.so: cannot open shared object file: No such file or directory" + tail},
        {KESTO_PARTIAL_LIBRARY, head + "it lacks MSP430_Secure (" + library + ": undefined symbol: MSP430_Secure)" + tail},
        {KESTO_UNIDENTIFIED_LIBRARY, head + "it lacks both MSP430_Identify and MSP430_OpenDevice, one of which every "
         "generation of it exports (" + library + ": undefined symbol: MSP430_Identify)" + tail},
        // Refused before any of its functions runs: each would write 8 bytes into 4 here.
        {KESTO_LONG_LIBRARY, head + "it exports MSP430_OpenDevice but not MSP430_HIL_MEMAP, so it is a release before "
         "3.5, whose integers are C long: 64 bits on this system, where kesto passes 32. Use release 3.5 or later" +
         tail},
        // A failure the current generation reports as success is the answer to one error query;
        // the next asks the library again.
        {KESTO_GARBAGE_LIBRARY, "failed: Could not find device (or device not supported)\nthen: 0\n", "EMPTY"},
    };
    for (const auto& c : cases) {
        if (c.beside) fs::copy_file(c.beside, library, fs::copy_options::overwrite_existing);
        std::vector<std::string> args = {probe};
        if (c.fet_port) args.push_back(c.fet_port);
        // No library path: only the folder beside counts.
        const ProcessRun run = run_process([&args] { exec_program(args, std::vector<std::string>{}); });
        EXPECT_EQ(run.text, c.text);
        EXPECT_EQ(run.status, 1);
    }
}

namespace {

const std::string CONFLICT = "Version conflict between the DLL and USB FET Firmware\n";
const std::string NO_UPDATE_HINT = "Run again with -update to update the adapter's firmware to the library's; an "
                                   "update that fails midway can leave the adapter unusable until it is recovered\n";

struct Generation {
    const char* library;
    std::string trace;                // the line at -d 3 that names it
    std::string id;                   // the G2553's number
    std::string update;               // what -update does on a conflict
    int update_status;
};

const std::string STEP = "Firmware update: ";
const Generation GENERATIONS[] = {
    {KESTO_SIM_LIBRARY, "FET library: current generation (MSP430_OpenDevice)\n", "8",
     STEP + "starting\n" + STEP + "erasing the interrupt vectors\n" + STEP + "erasing the firmware\n" + STEP +
         "programming\n" + STEP + "10%\n" + STEP + "20%\n" + STEP + "30%\n" + STEP + "40%\n" + STEP + "50%\n" + STEP +
         "60%\n" + STEP + "70%\n" + STEP + "80%\n" + STEP + "90%\n" + STEP + "100%\n" + STEP +
         "restarting the adapter\n" + STEP + "done\nIdentifed: MSP430G2553 ID:8\n", 0},
    {KESTO_SIM_ORIGINAL_LIBRARY, "FET library: original generation (MSP430_Identify)\n", "9",
     "This FET library cannot update the adapter's firmware (it has no MSP430_FET_FwUpdate); -update needs the "
     "library's current generation\n", 1},
};

}  // namespace

// The read-out's content has its own test (SimE2E). The current generation resets only a device
// it has opened, so F5 opens it on the way; a fuse blown by F9 stays blown for the next F9.
TEST(VendorLibrary, BothGenerationsOfTheSharedSimulator) {
    for (const Generation& g : GENERATIONS) {
        SCOPED_TRACE(g.trace);
        const struct { std::vector<std::string> args; std::string text; int status = 0; } cases[] = {
            {{"-a", "0", "+ebpv", "blink.hex", "+r", "out.hex"},
             "`\nIdentifed: MSP430G2553 ID:" + g.id + "\nProgramm & Verify...wait... -OK\nRead. Wait... -OK\n"},
            {{"-a", "0", "-d", "3", "-info", "-det"}, g.trace + "Initializing FET -OK. DLL Version:100\nSet Vcc -OK\n "
             "Device Vcc: 3.2V\n     Device: MSP430G2553 ID:" + g.id + "\n      Flash: 16K \t(C000..FFFF)\n"},
            {{"-fl", "-a", "0"}, "\nFound: SIM -Free\n"},
            {{"-a", "0", "-vcc", "ext", "-det"},
             "No External power was detected\n     Device: MSP430G2553 ID:" + g.id + "\n"},
            {{"-a", "0", "-FET", "oldfw", "+e"}, "\t   FET Port name: oldfw\n" + CONFLICT + NO_UPDATE_HINT, 1},
            {{"-a", "0", "-FET", "OLDFW", "-update", "+e"}, "on a version conflict\n" + CONFLICT + g.update,
             g.update_status},
        };
        const BesideLibrary kesto(g.library);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::PrintToString(c.args));
            const ProcessRun run = kesto.run(c.args);
            EXPECT_NE(run.text.find(c.text), std::string::npos) << run.text;
            EXPECT_EQ(run.status, c.status);
        }
        EXPECT_TRUE(fs::exists(kesto.folder.path("out.hex")));
        Console console(kesto.program, {"-m", "-a", "0", "-d", "4", "+fusep", "blink.hex"}, kesto.folder.folder());
        ASSERT_TRUE(console.wait_for(SHOWN_STARTED));
        console.type(KEY_F5);
        EXPECT_TRUE(console.wait_for("Reset/Start device -OK\r\n")) << console.text;
        console.type(KEY_F9);
        const std::string blown = as_shown("Blowing the device security fuse -OK\n");
        ASSERT_TRUE(console.wait_for(blown));
        ASSERT_TRUE(console.wait_for(SHOWN_STARTED, console.text.find(blown)));
        console.type(KEY_F9);
        ASSERT_TRUE(console.wait_exit());
        EXPECT_NE(without_titles(console.text).find(as_shown("Device Not Found/ -The Debug Interface to the device "
                                                             "has been secured: the security fuse is blown\n")),
                  std::string::npos) << console.text;
        EXPECT_EQ(console.status, 1);
    }
}

// A library writes only 4 bytes through an integer out-parameter.
TEST(VendorLibrary, ResultsAreReadAsThirtyTwoBits) {
    const BesideLibrary kesto(KESTO_GARBAGE_LIBRARY);
    const std::string identified = "Identifed: MSP430G2553 ID:8\n";
    const struct { std::vector<std::string> args; std::string text; int status = 0; } cases[] = {
        {{"-a", "0", "-d", "3", "+e"}, "Initializing FET -OK. DLL Version:30301\nSet Vcc -OK\n" + identified +
         "Erase All -OK\nReset/Start device -OK\nClosing Interface -OK\n"},
        {{"-a", "0", "-d", "3", "-FET", "OLDFW", "+e"}, "Initializing FET -OK. DLL Version:-1\n" + CONFLICT +
         NO_UPDATE_HINT, 1},
        {{"-a", "0", "-FET", "OLDFW", "-update", "-vcc", "ext", "+e"},
         CONFLICT + "Firmware update: 25%\nFirmware update: 50%\nFirmware update: 75%\nFirmware update: 100%\n"
         "Firmware update: done\nExternal power Good: 3.3V\n" + identified},
        {{"-fl", "-a", "0"}, "\nFound: ttyACM0 -Free\n\nPress AnyKey to Exit\n"},
        {{"-list"}, "\nThe devices supported by the driver:\nID:0   MSP430G2553              "},
        // Success with a record of zeros: nothing was opened.
        {{"-a", "0", "-FET", "EMPTY", "+e"}, "Device Not Found/ -Could not find device (or device not supported)\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProcessRun run = kesto.run(c.args);
        EXPECT_TRUE(run.text.ends_with(c.text)) << run.text;
        EXPECT_EQ(run.status, c.status);
    }
}
