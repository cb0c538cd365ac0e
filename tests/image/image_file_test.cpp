// Image files as a whole: what the read-out writer does with the name it is given.
#include "image/image_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch_folder.h"

namespace fs = std::filesystem;

// Over a symbolic link the read-out lands in the file the link points to, and the link stays a
// link: through a relative and an absolute link, a chain of two, and a link whose file does not
// exist yet. No temporary file is left beside the link or the file.
TEST(ImageFiles, ReadOutOverALinkWritesTheFileItPointsTo) {
    const ScratchFolder scratch;
    fs::create_directory(scratch.path("fw"));
    scratch.write("fw/app.hex", "the old read-out\n");
    const struct { const char* link; std::string target; const char* written; } cases[] = {
        {"relative.hex", "fw/app.hex", "fw/app.hex"},
        {"absolute.hex", scratch.path("fw/app.hex"), "fw/app.hex"},
        {"chain.hex", "relative.hex", "fw/app.hex"},
        {"fw/new.hex", "../fw/later.hex", "fw/later.hex"},
    };
    const std::vector<std::uint8_t> data = {0x31, 0x40};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        fs::create_symlink(c.target, scratch.path(c.link));
        std::string error;
        ASSERT_TRUE(write_image_file(scratch.path(c.link).c_str(), true, 0xC000, data, error)) << error;
        EXPECT_TRUE(fs::is_symlink(scratch.path(c.link)));
        EXPECT_EQ(scratch.read(c.written), ":02C000003140CD\n:00000001FF\n");
    }
    for (const auto& entry : fs::recursive_directory_iterator(scratch.folder()))
        EXPECT_TRUE(entry.is_directory() || entry.path().extension() == ".hex") << entry.path();
}
