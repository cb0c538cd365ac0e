#include "image/image_file.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/error_text.h"
#include "image/intel_hex.h"
#include "image/ti_txt.h"

namespace {

constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::unique_ptr<ImageFormatReader> reader_for(char first, MemoryImage& image) {
    if (first == ':') return std::make_unique<IntelHexReader>(image);
    if (first == '@') return std::make_unique<TiTxtReader>(image);
    return nullptr;
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
    LineReader lines(file);
    std::unique_ptr<ImageFormatReader> reader;
    std::string line;
    while (lines.next(line)) {
        std::string_view text = line;
        // Editors on Windows like to start a text file with a byte order mark.
        if (lines.line_number() == 1 && text.starts_with(UTF8_BOM)) text.remove_prefix(UTF8_BOM.size());
        text = trim(text);
        if (!reader) {
            if (text.empty()) continue;
            reader = reader_for(text.front(), image);
            if (!reader) {
                error = error_text("%s line %d: neither Intel HEX (':' first) nor TI-TXT ('@' first); it begins with %s",
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
        return lines.read_failed() ? IMAGE_UNREADABLE : IMAGE_FORMAT;
    }
    if (!reader) {
        error = error_text("%s: the file is empty", path);
        return IMAGE_FORMAT;
    }
    error = error_text("%s line %d: %s", path, lines.line_number(), reader->missing_end().c_str());
    return IMAGE_FORMAT;
}

bool write_image_file(const char* path, bool intel_hex, std::uint32_t address, const std::vector<std::uint8_t>& data,
                      std::string& error) {
    const std::string temporary = std::string(path) + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = error_text("Cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    bool written = intel_hex ? write_intel_hex(file, address, data.data(), data.size())
                             : write_ti_txt(file, address, data.data(), data.size());
    int saved_errno = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        saved_errno = errno;
    }
    if (written && std::rename(temporary.c_str(), path) != 0) {
        written = false;
        saved_errno = errno;
    }
    if (!written) {
        std::remove(temporary.c_str());
        error = error_text("Cannot write %s: %s", path, std::strerror(saved_errno));
        return false;
    }
    return true;
}
