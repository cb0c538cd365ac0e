// A broken check throws instead of aborting, so it fails the case it belongs to.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "support/capture.h"
#include "support/scratch_folder.h"

using FuzzEntry = void (*)(const std::uint8_t* data, std::size_t size);

struct FuzzCheckFailed {
    std::string what;
};

[[noreturn]] inline void throw_fuzz_failure(const char* what) { throw FuzzCheckFailed{what}; }

inline void replay_all(const std::string& target, FuzzEntry entry) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (const char* kind : {"tests/fuzz/regressions", "fuzz/corpus"})
        if (const fs::path folder = fs::path(KESTO_SOURCE_DIR) / kind / target; fs::is_directory(folder))
            for (const fs::directory_entry& file : fs::directory_iterator(folder))
                if (file.is_regular_file()) files.push_back(file.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no inputs for " << target;
    fuzz_failure_handler = throw_fuzz_failure;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string data = read_file(file.string());
        try {
            const Captured run = capture_output(
                [&] { entry(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()); });
            EXPECT_EQ(run.status, CAPTURE_RETURNED);
        } catch (const FuzzCheckFailed& failed) {
            ADD_FAILURE() << "fuzz check failed: " << failed.what;
        }
    }
    fuzz_failure_handler = nullptr;
}
