#include "sim/ti_txt.h"

#include <gtest/gtest.h>

#include "sim/scratch_files.h"
#include "sim/sim_errors.h"

namespace {

struct Read {
    int result;
    std::string error;
    MemoryImage image;
};

Read read_text(const ScratchFolder& scratch, const std::string& text) {
    Read read;
    const std::string path = scratch.write("image.txt", text);
    read.result = read_image_file(path.c_str(), read.image, read.error);
    const std::size_t at = read.error.find("image.txt");
    if (at != std::string::npos) read.error.erase(0, at);
    return read;
}

class TiTxt : public ::testing::Test {
protected:
    ScratchFolder scratch;
};

}  // namespace

TEST_F(TiTxt, AddressesAndBytes) {
    const Read read = read_text(scratch, "@C000\n31 40 00 04\nb2 40\n@FFFE\n00 C0\nq\n");
    ASSERT_EQ(read.result, SIM_OK) << read.error;
    EXPECT_EQ(read.image.size(), 8u);
    EXPECT_EQ(read.image.at(0xC000), 0x31);
    EXPECT_EQ(read.image.at(0xC005), 0x40);  // the next line goes on where the last one ended
    EXPECT_EQ(read.image.at(0xFFFF), 0xC0);
    EXPECT_FALSE(read.image.has(0xC006));
}

TEST_F(TiTxt, AddressesAbove64KAndAnyLineEnds) {
    const Read read = read_text(scratch, "\r\n@10000\r\n11  22\t33 \r@45BFF\rAA\rQ");
    ASSERT_EQ(read.result, SIM_OK) << read.error;
    EXPECT_EQ(read.image.at(0x10002), 0x33);
    EXPECT_EQ(read.image.at(0x45BFF), 0xAA);
}

TEST_F(TiTxt, EachFaultIsNamedWithItsLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"@C000\n31 4G\nq\n", "image.txt line 2: 'G' in \"4G\" is not a hex digit"},
        {"@C000\n31 400\nq\n", "image.txt line 2: \"400\" is not a byte: a byte is two hex digits"},
        {"@C000\n31 4\nq\n", "image.txt line 2: \"4\" is not a byte: a byte is two hex digits"},
        {"@C000\n31,40\nq\n", "image.txt line 2: ',' in \"31,40\" is not a hex digit"},
        {"@C0X0\n", "image.txt line 1: 'X' in the address \"@C0X0\" is not a hex digit"},
        {"@\n", "image.txt line 1: an @ line needs an address in hex"},
        {"@000000000\n", "image.txt line 1: the address \"@000000000\" has more than 8 digits"},
        {"@100000\n00\nq\n", "image.txt line 1: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {"@FFFFF\n00 01\nq\n", "image.txt line 2: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {"@C000\n31\n@C000\n32\nq\n", "image.txt line 4: address 0xC000 is given 32 here but 31 earlier in the file"},
        {"@C000\n31 40\n", "image.txt line 2: the file ends without its closing \"q\"; it may be cut short"},
        {"@C000\n31 40\nqq\n", "image.txt line 3: 'q' in \"qq\" is not a hex digit"},
        {"@C000\n31 0123456789ABCDEF0\nq\n",
         "image.txt line 2: \"0123456789AB...\" is not a byte: a byte is two hex digits"},
    };
    for (const auto& c : cases) {
        const Read read = read_text(scratch, c.text);
        EXPECT_EQ(read.result, SIM_FILE_FORMAT) << c.text;
        EXPECT_EQ(read.error, c.error) << c.text;
    }
}

TEST_F(TiTxt, WriterMakesSixteenBytesALine) {
    std::vector<std::uint8_t> data(18);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
    const std::string path = scratch.path("out.txt");
    std::string error;
    ASSERT_TRUE(write_image_file(path.c_str(), false, 0x1FFF8, data, error)) << error;
    EXPECT_EQ(scratch.read("out.txt"),
              "@1FFF8\n"
              "A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\n"
              "B0 B1\n"
              "q\n");
    MemoryImage image;
    ASSERT_EQ(read_image_file(path.c_str(), image, error), SIM_OK) << error;
    EXPECT_EQ(image.size(), 18u);
    EXPECT_EQ(image.at(0x20009), 0xB1);
}
