// A copy of kesto with a library beside it, as the vendor's, and the example image.
#pragma once

#include "e2e/pty_harness.h"
#include "support/run_program.h"

struct BesideLibrary {
    ScratchFolder folder;
    std::string program = folder.path("kesto");

    explicit BesideLibrary(const char* library) {
        std::filesystem::copy_file(KESTO_BINARY, program);
        std::filesystem::copy_file(library, folder.path("libmsp430.so"));
        std::filesystem::copy_file(std::string(KESTO_SOURCE_DIR) + "/examples/blink/blink.hex", folder.path("blink.hex"));
    }
    // With `environment` alone (empty by default).
    ProcessRun run(std::vector<std::string> args, std::vector<std::string> environment = {},
                   int deadline_ms = 10000) const {
        // Appended one by one: GCC 12 at -O3 warns falsely about an insert at the front.
        std::vector<std::string> command{program};
        for (std::string& arg : args) command.push_back(std::move(arg));
        return run_process(
            [&] {
                if (chdir(folder.folder().c_str()) != 0) _exit(126);
                exec_program(command, environment);
            },
            deadline_ms);
    }
};
