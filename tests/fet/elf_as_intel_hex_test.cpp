#include "fet/elf_as_intel_hex.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/image_bytes.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

// What the library underneath was given, and what the file held while the call ran.
std::string handed_name, handed_text;

fet_int FET_CALL take_file(const char* file) {
    handed_name = file;
    std::ifstream in(file, std::ios::binary);
    handed_text.assign(std::istreambuf_iterator<char>(in), {});
    return 0;
}

FetLibrary recording_library() {
    FetLibrary library{};
    library.MSP430_ProgramFile = [](const char* file, fet_int, fet_int) FET_CALL { return take_file(file); };
    library.MSP430_VerifyFile = take_file;
    library.MSP430_Error_Number = []() FET_CALL { return fet_int{3}; };
    library.MSP430_Error_String = [](fet_int) FET_CALL { return "the library's text"; };
    return library;
}

#if defined(_WIN32)
int setenv(const char* name, const char* value, int) { return _putenv_s(name, value); }
int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif

class ElfAsIntelHex : public ::testing::Test {
protected:
    void SetUp() override { setenv("TMPDIR", temporary.folder().c_str(), 1); }
    void TearDown() override { had_tmpdir ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR"); }

    const bool had_tmpdir = std::getenv("TMPDIR");
    const std::string saved = had_tmpdir ? std::getenv("TMPDIR") : "";
    const ScratchFolder scratch, temporary;  // made before TMPDIR points into `temporary`
    const std::string elf = KESTO_SOURCE_DIR "/examples/blink/blink.elf";
    const FetLibrary& library = *with_elf_as_intel_hex(recording_library());
};

}  // namespace

TEST_F(ElfAsIntelHex, AnElfImageReachesTheLibraryAsATemporaryIntelHexFile) {
    const std::string hex = scratch.write("app.hex", ":01C000007FC0\n:00000001FF\n");
    EXPECT_EQ(library.MSP430_ProgramFile(elf.c_str(), 1, 1), 0);
    EXPECT_TRUE(handed_name.starts_with(temporary.path("kesto-")) && handed_name.ends_with(".hex")) << handed_name;
    EXPECT_TRUE(handed_text.starts_with(":10C00000")) << handed_text;
    EXPECT_EQ(bytes_of_file(scratch.write("handed.hex", handed_text)), bytes_of_file(elf));
    EXPECT_TRUE(fs::is_empty(temporary.folder())) << "the temporary file stays after the call";
    EXPECT_EQ(library.MSP430_VerifyFile(hex.c_str()), 0);
    EXPECT_EQ(handed_name, hex);

    // No temporary folder.
    setenv("TMPDIR", scratch.path("missing").c_str(), 1);
    handed_name.clear();
    EXPECT_NE(library.MSP430_VerifyFile(elf.c_str()), 0);
    EXPECT_EQ(handed_name, "");
    EXPECT_STREQ(library.MSP430_Error_String(library.MSP430_Error_Number()),
                 ("Cannot make a temporary Intel HEX file from " + elf + ": No such file or directory").c_str());
    // The next file call clears the failure.
    EXPECT_EQ(library.MSP430_ProgramFile(hex.c_str(), 1, 0), 0);
    EXPECT_EQ(library.MSP430_Error_Number(), 3);
    EXPECT_STREQ(library.MSP430_Error_String(3), "the library's text");
}

// A table that does not convert (the simulator's) gets nothing made.
TEST_F(ElfAsIntelHex, APreparedFileServesThePassAndGoesWithTheRelease) {
    std::string why;

    const FetLibrary other = recording_library();
    EXPECT_TRUE(prepare_elf_as_intel_hex(&other, elf.c_str(), why));
    EXPECT_TRUE(fs::is_empty(temporary.folder()));
    ASSERT_TRUE(prepare_elf_as_intel_hex(&library, elf.c_str(), why)) << why;
    EXPECT_EQ(std::distance(fs::directory_iterator(temporary.folder()), {}), 1);
    EXPECT_EQ(library.MSP430_VerifyFile(elf.c_str()), 0);
    const std::string verified = handed_name;
    EXPECT_EQ(library.MSP430_ProgramFile(elf.c_str(), 1, 1), 0);
    EXPECT_EQ(handed_name, verified);
    EXPECT_TRUE(fs::exists(verified));
    release_elf_as_intel_hex();
    EXPECT_TRUE(fs::is_empty(temporary.folder()));
}
