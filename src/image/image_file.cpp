#include "image/image_file.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/error_text.h"
#include "image/elf_image.h"
#include "image/intel_hex.h"
#include "image/ti_txt.h"
#include "platform/link_target.h"
#include "platform/temporary_file.h"

namespace {

constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";
// An ELF file keeps its debugging information beside the program, so it may be much larger
// than the image it holds; the text formats have their own, smaller bound.
constexpr std::size_t MAX_IMAGE_FILE = 64 << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::unique_ptr<ImageFormatReader> reader_for(char first, MemoryImage& image) {
    if (first == ':') return std::make_unique<IntelHexReader>(image);
    if (first == '@') return std::make_unique<TiTxtReader>(image);
    return nullptr;
}

int read_content(std::string_view content, const char* path, MemoryImage& image, std::string& error) {
    if (is_elf(content)) {
        std::string why;
        if (read_elf_image(content, image, why)) return IMAGE_OK;
        error = error_text("%s: %s", path, why.c_str());
        return IMAGE_FORMAT;
    }
    LineReader lines(content);
    std::unique_ptr<ImageFormatReader> reader;
    std::string_view line;
    while (lines.next(line)) {
        std::string_view text = line;
        // Editors on Windows like to start a text file with a byte order mark.
        if (lines.line_number() == 1 && text.starts_with(UTF8_BOM)) text.remove_prefix(UTF8_BOM.size());
        text = trim(text);
        if (!reader) {
            if (text.empty()) continue;
            reader = reader_for(text.front(), image);
            if (!reader) {
                error = error_text("%s line %d: neither Intel HEX (':' first), TI-TXT ('@' first) nor ELF; it "
                                   "begins with %s",
                                   path, lines.line_number(), describe_char(text.front()).c_str());
                return IMAGE_FORMAT;
            }
        }
        std::string why;
        if (!reader->take_line(text, why)) {
            error = error_text("%s line %d: %s", path, lines.line_number(), why.c_str());
            return IMAGE_FORMAT;
        }
        if (reader->done()) return IMAGE_OK;
    }
    if (!lines.error().empty()) {
        error = error_text("%s %s", path, lines.error().c_str());
        return IMAGE_FORMAT;
    }
    if (!reader) {
        error = error_text("%s: the file is empty", path);
        return IMAGE_FORMAT;
    }
    const std::string missing = reader->missing_end();
    if (missing.empty()) return IMAGE_OK;
    error = error_text("%s line %d: %s", path, lines.line_number(), missing.c_str());
    return IMAGE_FORMAT;
}

}  // namespace

int read_image_file(const char* path, MemoryImage& image, std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        error = error_text("Cannot open %s: %s", path, std::strerror(errno));
        return IMAGE_UNREADABLE;
    }
    return read_image_stream(file.get(), path, image, error);
}

int read_image_stream(std::FILE* file, const char* path, MemoryImage& image, std::string& error) {
    std::string content;
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        if (content.size() + n > MAX_IMAGE_FILE) {
            error = error_text("%s: the file is larger than %zu MB, more than any MSP430 image file can be", path,
                               MAX_IMAGE_FILE >> 20);
            return IMAGE_FORMAT;
        }
        content.append(chunk, n);
    }
    if (std::ferror(file)) {
        error = error_text("Cannot read %s: %s", path, std::strerror(errno));
        return IMAGE_UNREADABLE;
    }
    return read_content(content, path, image, error);
}

bool image_file_is_elf(const char* path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    char start[4];
    return file && std::fread(start, 1, sizeof start, file.get()) == sizeof start &&
           is_elf(std::string_view(start, sizeof start));
}

namespace {

// Only a regular file (or a new name) is replaced by the finished file: a rename over a device,
// a FIFO or a folder would put a regular file in its place.
bool target_is_replaceable(const char* path, const std::string& target, std::string& error) {
    const char* what = nullptr;
    switch (file_kind(target.c_str())) {
        case FileKind::missing:
        case FileKind::regular: return true;
        case FileKind::folder: what = "a folder"; break;
        case FileKind::device: what = "a device"; break;
        case FileKind::fifo: what = "a FIFO"; break;
        case FileKind::other: what = "a special file"; break;
    }
    error = error_text("Cannot write %s: it is %s; a read-out replaces only a regular file", path, what);
    return false;
}

// The temporary file that is to take the place of the file path names, once every link on the
// way is followed (the link stays); null with `error` when there can be none.
std::FILE* open_beside(const char* path, std::string& target, std::string& temporary, std::string& error) {
    target = resolve_link_target(path);
    if (!target_is_replaceable(path, target, error)) return nullptr;
    std::string reason;
    std::FILE* file = create_file_beside(target, temporary, reason);
    if (!file) error = error_text("Cannot write %s: %s", path, reason.c_str());
    return file;
}

}  // namespace

bool read_out_target_usable(const char* path, std::string& error) {
    std::string target, temporary;
    std::FILE* file = open_beside(path, target, temporary, error);
    if (!file) return false;
    std::fclose(file);
    remove_temporary_file(temporary);
    return true;
}

bool write_image_file(const char* path, bool intel_hex, std::uint32_t address, const std::vector<std::uint8_t>& data,
                      std::string& error) {
    std::string target, temporary;
    std::FILE* file = open_beside(path, target, temporary, error);
    if (!file) return false;
    bool written = intel_hex ? write_intel_hex(file, address, data.data(), data.size())
                             : write_ti_txt(file, address, data.data(), data.size());
    int saved_errno = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        saved_errno = errno;
    }
    if (written && !replace_file(temporary.c_str(), target.c_str())) {
        written = false;
        saved_errno = errno;
    }
    if (!written) {
        remove_temporary_file(temporary);
        error = error_text("Cannot write %s: %s", path, std::strerror(saved_errno));
        return false;
    }
    keep_temporary_file(temporary);
    return true;
}
