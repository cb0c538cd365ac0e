// The ELF reader: on the linker's own output and on small files built here.
#include "image/elf_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/image_bytes.h"

namespace {

using Bytes = ImageBytes;

// The ELF header comes last, written over the room left for it at offset 0.
struct ElfBuilder {
    std::string file = std::string(0x40, '\0');  // the header's room, and a little more for the header segment
    std::string program_headers, section_headers = std::string(40, '\0'), names = std::string(1, '\0');
    int segments = 0, sections = 1;

    static std::string le(std::uint32_t value, int size) {
        std::string out;
        for (int i = 0; i < size; ++i) out += static_cast<char>(value >> (8 * i));
        return out;
    }
    std::uint32_t add(const std::string& data) {
        const auto offset = static_cast<std::uint32_t>(file.size());
        file += data;
        return offset;
    }
    ElfBuilder& segment(std::uint32_t offset, std::uint32_t vaddr, std::uint32_t paddr, std::uint32_t filesz) {
        for (const std::uint32_t field : {1u, offset, vaddr, paddr, filesz, filesz, 4u, 1u})
            program_headers += le(field, 4);
        return ++segments, *this;
    }
    ElfBuilder& section(const std::string& name, std::uint32_t type, std::uint32_t flags, std::uint32_t address,
                        std::uint32_t offset, std::uint32_t size) {
        const auto name_at = static_cast<std::uint32_t>(names.size());
        names += name + '\0';
        for (const std::uint32_t field : {name_at, type, flags, address, offset, size, 0u, 0u, 1u, 0u})
            section_headers += le(field, 4);
        return ++sections, *this;
    }
    std::string build(bool with_sections = true) {
        std::string out = file;
        const auto phoff = static_cast<std::uint32_t>(out.size());
        out += program_headers;
        std::uint32_t shoff = 0;
        if (with_sections) {
            const auto names_at = static_cast<std::uint32_t>(out.size());
            out += names;
            shoff = static_cast<std::uint32_t>(out.size());
            out += section_headers;
            for (const std::uint32_t field : {1u, 3u, 0u, 0u, names_at, static_cast<std::uint32_t>(names.size()), 0u,
                                              0u, 1u, 0u})
                out += le(field, 4);  // the name table, the last section
        }
        std::string header = "\x7f" "ELF\x01\x01\x01" + std::string(9, '\0');
        header += le(2, 2) + le(105, 2) + le(1, 4) + le(0xC000, 4) + le(phoff, 4) + le(shoff, 4) + le(0, 4);
        header += le(52, 2) + le(32, 2) + le(segments, 2) + le(40, 2) + le(with_sections ? sections + 1 : 0, 2);
        header += le(with_sections ? sections : 0, 2);
        return out.replace(0, header.size(), header);
    }
};

constexpr std::uint32_t PROGBITS = 1, NOBITS = 8, ALLOC = 2, ALLOC_EXEC = 6, ALLOC_WRITE = 3;

// .text in flash; .data in RAM with its initial values stored in flash after .text; .bss; a
// section outside every segment; a section that is not allocated; and the headers mapped at 0
// in a segment of their own, as ld.lld does.
ElfBuilder linked_program() {
    ElfBuilder elf;
    const std::uint32_t text = elf.add(std::string("\x31\x40\x00\x04", 4)), data = elf.add("\x05\x06");
    const std::uint32_t info = elf.add("\x11"), comment = elf.add("clang");
    elf.segment(0, 0, 0, 0x40).segment(text, 0xC000, 0xC000, 4).segment(data, 0x200, 0xC004, 2);
    elf.section(".text", PROGBITS, ALLOC_EXEC, 0xC000, text, 4).section(".data", PROGBITS, ALLOC_WRITE, 0x200, data, 2);
    elf.section(".bss", NOBITS, ALLOC_WRITE, 0x202, 0, 2).section(".infoA", PROGBITS, ALLOC, 0x10C0, info, 1);
    elf.section(".comment", PROGBITS, 0, 0, comment, 5).section(".empty", PROGBITS, ALLOC, 0xE000, info, 0);
    return elf;
}

}  // namespace

TEST(ElfImage, SectionsGoToTheirLoadAddresses) {
    MemoryImage image;
    std::string error;
    ASSERT_TRUE(read_elf_image(linked_program().build(), image, error)) << error;
    EXPECT_EQ(bytes_of(image), (Bytes{{0x10C0, 0x11}, {0xC000, 0x31}, {0xC001, 0x40}, {0xC002, 0x00}, {0xC003, 0x04},
                                      {0xC004, 0x05}, {0xC005, 0x06}}));
    // Without section headers the segments count, the headers' own included.
    MemoryImage segments;
    ASSERT_TRUE(read_elf_image(linked_program().build(false), segments, error)) << error;
    EXPECT_EQ(segments.size(), 0x40u + 4 + 2);
    EXPECT_TRUE(segments.has(0) && segments.at(0) == 0x7F && segments.has(0x3F) && segments.at(0xC004) == 0x05);
}

TEST(ElfImage, EachRefusalSaysWhy) {
    const auto patched = [](std::size_t at, std::string bytes) {
        return [=] { return linked_program().build().replace(at, bytes.size(), bytes); };
    };
    const auto program = [](std::function<void(ElfBuilder&)> change, bool with_sections = false) {
        return [=] {
            ElfBuilder elf;
            change(elf);
            return elf.build(with_sections);
        };
    };
    const std::pair<std::function<std::string()>, std::string> cases[] = {
        {patched(4, "\x02"), "a 64-bit ELF file; MSP430 programs are 32-bit ELF"},
        {patched(5, "\x02"), "a big-endian ELF file; MSP430 programs are little-endian"},
        {patched(18, std::string("\x28\x00", 2)), "an ELF file for machine 40 (ARM), not for the MSP430 (105)"},
        {patched(16, std::string("\x01\x00", 2)), "an object file, not a linked program: give the linker's output"},
        {[] { return linked_program().build().substr(0, 40); }, "the file ends inside the ELF header; it is cut short"},
        {[] { std::string f = linked_program().build(); return f.substr(0, f.size() - 1); },
         "the section headers run past the end of the file; it is cut short"},
        {program([](ElfBuilder& e) { e.segment(e.add("\x01\x02"), 0xC000, 0xC000, 0x1000); }),
         "the bytes of segment 0 run past the end of the file; it is cut short"},
        {program([](ElfBuilder& e) {
             e.segment(e.add("\x01\x02"), 0xC000, 0xC000, 2).segment(e.add("\x01\x03"), 0xC000, 0xC000, 2);
         }),
         "segment 1 gives address 0xC001 the byte 03, but an earlier part of the file gave it 02"},
        {program([](ElfBuilder& e) { e.segment(e.add("\x01\x02"), 0xFFFFF, 0xFFFFF, 2); }),
         "segment 0: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {program([](ElfBuilder& e) { e.section(".far", PROGBITS, ALLOC, 0xFFFFFFFF, e.add("\x01"), 1); }, true),
         "section 1 \".far\": address 0xFFFFFFFF lies beyond the 1 MB an MSP430 can address"},
    };
    for (const auto& [make, why] : cases) {
        SCOPED_TRACE(why);
        MemoryImage image;
        std::string error;
        EXPECT_FALSE(read_elf_image(make(), image, error));
        EXPECT_EQ(error, why);
    }
}

// .data's initial values at its load address, nothing of the segment that maps the headers at 0,
// .rodata at its offset inside the segment it shares with .text.
TEST(ElfImage, CompilerOutputReadsAsObjcopyReadsIt) {
    std::vector<std::string> files = {KESTO_SOURCE_DIR "/examples/blink/blink",
                                      KESTO_SOURCE_DIR "/tests/image/data/shared_segment"};
#ifdef KESTO_SHARED_SEGMENT_BUILD
    files.push_back(KESTO_SHARED_SEGMENT_BUILD "/shared_segment");
#endif
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const Bytes elf = bytes_of_file(file + ".elf");
        EXPECT_EQ(elf, bytes_of_file(file + ".hex"));
        EXPECT_GT(elf.size(), 0x10u);
    }
}
