#include "image/elf_image.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/error_text.h"

namespace {

constexpr std::string_view ELF_MAGIC = "\x7F" "ELF";

// The fields read here, by their offsets in the ELF header, a program header and a section
// header of 32-bit ELF.
constexpr std::size_t IDENT_CLASS = 4, IDENT_DATA = 5;
constexpr std::size_t E_TYPE = 16, E_MACHINE = 18, E_PHOFF = 28, E_SHOFF = 32, E_PHENTSIZE = 42, E_PHNUM = 44,
                      E_SHENTSIZE = 46, E_SHNUM = 48, E_SHSTRNDX = 50;
constexpr std::size_t P_TYPE = 0, P_OFFSET = 4, P_PADDR = 12, P_FILESZ = 16;
constexpr std::size_t SH_NAME = 0, SH_TYPE = 4, SH_FLAGS = 8, SH_ADDR = 12, SH_OFFSET = 16, SH_SIZE = 20;
constexpr std::size_t HEADER_SIZE = 52, PROGRAM_HEADER_SIZE = 32, SECTION_HEADER_SIZE = 40;

constexpr unsigned CLASS_32 = 1, CLASS_64 = 2, DATA_LITTLE = 1, DATA_BIG = 2;
constexpr unsigned TYPE_RELOCATABLE = 1, TYPE_EXECUTABLE = 2;
constexpr unsigned MACHINE_MSP430 = 105;
constexpr std::uint32_t SEGMENT_LOAD = 1;
constexpr std::uint32_t SECTION_NOBITS = 8, SECTION_FLAG_ALLOC = 0x2;

// Two pieces that overlap with the same bytes are harmless, but a file whose pieces add up to
// far more than an MSP430 can hold is not an image, and would only keep the reader busy.
constexpr std::uint64_t MAX_PLACED = 4 * std::uint64_t{IMAGE_ADDRESS_LIMIT};
// A section's name is shown in a message, not dumped.
constexpr std::size_t MAX_NAME_SHOWN = 32;

const char* machine_name(unsigned machine) {
    switch (machine) {
        case 3: return " (x86)";
        case 8: return " (MIPS)";
        case 40: return " (ARM)";
        case 62: return " (x86-64)";
        case 83: return " (AVR)";
        case 183: return " (AArch64)";
        case 243: return " (RISC-V)";
        default: return "";
    }
}

struct Segment {
    unsigned number;
    std::uint32_t offset, paddr, size;  // size: the bytes in the file (p_filesz)
};

// A run of the file's bytes that goes into the image, and how a message names it.
struct Piece {
    std::string name;
    std::uint64_t address, offset, size;
};

class ElfReader {
public:
    ElfReader(std::string_view file, MemoryImage& image, std::string& error)
        : file_(file), image_(image), error_(error) {}

    bool read() {
        if (!check_header() || !read_segments()) return false;
        std::vector<Piece> pieces;
        if (word(E_SHOFF) == 0) {
            for (const Segment& s : segments_)
                pieces.push_back({error_text("segment %u", s.number), s.paddr, s.offset, s.size});
        } else if (!read_sections(pieces)) {
            return false;
        }
        std::uint64_t placed = 0;
        for (const Piece& piece : pieces) {
            placed += piece.size;
            if (placed > MAX_PLACED)
                return fail(error_text("the loadable contents add up to more than %llu MB; an MSP430 holds 1 MB",
                                       static_cast<unsigned long long>(MAX_PLACED >> 20)));
            if (!place(piece)) return false;
        }
        return true;
    }

private:
    // Little-endian reads; the caller has made sure the bytes are there.
    std::uint32_t half(std::uint64_t at) const {
        return static_cast<std::uint8_t>(file_[at]) | std::uint32_t{static_cast<std::uint8_t>(file_[at + 1])} << 8;
    }
    std::uint32_t word(std::uint64_t at) const { return half(at) | half(at + 2) << 16; }
    // In 64 bits, so that no offset and size from the file can wrap around.
    bool holds(std::uint64_t offset, std::uint64_t size) const { return offset + size <= file_.size(); }

    bool fail(std::string why) {
        error_ = std::move(why);
        return false;
    }
    bool cut_short(const std::string& what) { return fail(what + " run past the end of the file; it is cut short"); }

    bool check_header() {
        if (file_.size() <= IDENT_DATA) return fail("the file ends inside the ELF header; it is cut short");
        const unsigned elf_class = static_cast<std::uint8_t>(file_[IDENT_CLASS]);
        const unsigned data = static_cast<std::uint8_t>(file_[IDENT_DATA]);
        if (elf_class == CLASS_64) return fail("a 64-bit ELF file; MSP430 programs are 32-bit ELF");
        if (elf_class != CLASS_32)
            return fail(error_text("ELF class %u is unknown; MSP430 programs are 32-bit ELF", elf_class));
        if (data == DATA_BIG) return fail("a big-endian ELF file; MSP430 programs are little-endian");
        if (data != DATA_LITTLE)
            return fail(error_text("ELF data encoding %u is unknown; MSP430 programs are little-endian", data));
        if (file_.size() < HEADER_SIZE) return fail("the file ends inside the ELF header; it is cut short");
        const unsigned machine = half(E_MACHINE);
        if (machine != MACHINE_MSP430)
            return fail(error_text("an ELF file for machine %u%s, not for the MSP430 (%u)", machine,
                                   machine_name(machine), MACHINE_MSP430));
        const unsigned type = half(E_TYPE);
        if (type == TYPE_RELOCATABLE) return fail("an object file, not a linked program: give the linker's output");
        if (type != TYPE_EXECUTABLE) return fail(error_text("an ELF file of type %u, not an executable program", type));
        return true;
    }

    // A table of headers: false, with the reason, when the file gives its entries another size
    // or the table does not fit in the file.
    bool check_table(const char* what, std::uint64_t offset, unsigned count, std::size_t entry_field,
                     std::size_t entry_size) {
        if (half(entry_field) != entry_size)
            return fail(error_text("%s of %u bytes; in 32-bit ELF they have %zu", what, half(entry_field), entry_size));
        if (!holds(offset, std::uint64_t{count} * entry_size)) return cut_short(std::string("the ") + what);
        return true;
    }

    bool read_segments() {
        const std::uint64_t table = word(E_PHOFF);
        const unsigned count = half(E_PHNUM);
        if (count == 0) return true;
        if (!check_table("program headers", table, count, E_PHENTSIZE, PROGRAM_HEADER_SIZE)) return false;
        for (unsigned i = 0; i < count; ++i) {
            const std::uint64_t at = table + std::uint64_t{i} * PROGRAM_HEADER_SIZE;
            if (word(at + P_TYPE) != SEGMENT_LOAD) continue;
            const Segment segment{i, word(at + P_OFFSET), word(at + P_PADDR), word(at + P_FILESZ)};
            if (!holds(segment.offset, segment.size)) return cut_short(error_text("the bytes of segment %u", i));
            if (segment.size > 0) segments_.push_back(segment);
        }
        return true;
    }

    bool read_sections(std::vector<Piece>& pieces) {
        const std::uint64_t table = word(E_SHOFF);
        const unsigned count = half(E_SHNUM);
        if (count == 0)
            return fail("the file counts its sections the extended way, for more than 65279 sections; no MSP430 "
                        "program has that many");
        if (!check_table("section headers", table, count, E_SHENTSIZE, SECTION_HEADER_SIZE)) return false;
        for (unsigned i = 0; i < count; ++i) {
            const std::uint64_t at = table + std::uint64_t{i} * SECTION_HEADER_SIZE;
            const std::uint32_t offset = word(at + SH_OFFSET), size = word(at + SH_SIZE);
            if (!(word(at + SH_FLAGS) & SECTION_FLAG_ALLOC) || word(at + SH_TYPE) == SECTION_NOBITS || size == 0)
                continue;
            const std::string shown = section_name(table, count, word(at + SH_NAME));
            const std::string name = error_text("section %u \"%s\"", i, shown.c_str());
            if (!holds(offset, size)) return cut_short("the bytes of " + name);
            pieces.push_back({name, load_address(offset, size, word(at + SH_ADDR)), offset, size});
        }
        return true;
    }

    // The name from the section name table, control bytes spelled out; empty when that table is
    // unusable.
    std::string section_name(std::uint64_t table, unsigned count, std::uint32_t name) const {
        const unsigned names = half(E_SHSTRNDX);
        if (names >= count) return "";
        const std::uint64_t header = table + std::uint64_t{names} * SECTION_HEADER_SIZE;
        const std::uint64_t offset = word(header + SH_OFFSET), size = word(header + SH_SIZE);
        if (!holds(offset, size) || name >= size) return "";
        std::string_view text = file_.substr(offset + name, size - name);
        text = text.substr(0, text.find('\0'));
        if (text.size() > MAX_NAME_SHOWN) return printable_text(text.substr(0, MAX_NAME_SHOWN)) + "...";
        return printable_text(text);
    }

    // The p_paddr of the loadable segment that holds the section, plus the section's offset in
    // it; the section's own address when no segment holds it.
    std::uint64_t load_address(std::uint32_t offset, std::uint32_t size, std::uint32_t address) const {
        for (const Segment& s : segments_) {
            if (offset >= s.offset && std::uint64_t{offset} + size <= std::uint64_t{s.offset} + s.size)
                return std::uint64_t{s.paddr} + (offset - s.offset);
        }
        return address;
    }

    bool place(const Piece& piece) {
        if (piece.address + piece.size > IMAGE_ADDRESS_LIMIT) {
            const std::uint64_t beyond = std::clamp<std::uint64_t>(piece.address, IMAGE_ADDRESS_LIMIT, 0xFFFFFFFF);
            return fail(piece.name + ": " + beyond_limit_text(static_cast<std::uint32_t>(beyond)));
        }
        for (std::uint64_t i = 0; i < piece.size; ++i) {
            const auto address = static_cast<std::uint32_t>(piece.address + i);
            const auto value = static_cast<std::uint8_t>(file_[piece.offset + i]);
            std::uint8_t previous = 0;
            if (!image_.put(address, value, previous))
                return fail(error_text("%s gives address 0x%04X the byte %02X, but an earlier part of the file "
                                       "gave it %02X",
                                       piece.name.c_str(), address, value, previous));
        }
        return true;
    }

    std::string_view file_;
    MemoryImage& image_;
    std::string& error_;
    std::vector<Segment> segments_;
};

}  // namespace

bool is_elf(std::string_view file) { return file.starts_with(ELF_MAGIC); }

bool read_elf_image(std::string_view file, MemoryImage& image, std::string& error) {
    return ElfReader(file, image, error).read();
}
