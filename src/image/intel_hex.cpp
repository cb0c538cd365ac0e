#include "image/intel_hex.h"

#include <algorithm>
#include <vector>

#include "base/error_text.h"

namespace {

constexpr int RECORD_DATA = 0x00;
constexpr int RECORD_END = 0x01;
constexpr int RECORD_SEGMENT_ADDRESS = 0x02;
constexpr int RECORD_START_SEGMENT = 0x03;
constexpr int RECORD_LINEAR_ADDRESS = 0x04;
constexpr int RECORD_START_LINEAR = 0x05;

// Count, address (2), type and checksum: the bytes every record has besides its data.
constexpr int RECORD_OVERHEAD = 5;
constexpr int MAX_RECORD = RECORD_OVERHEAD + 255;

}  // namespace

bool IntelHexReader::take_line(std::string_view line, std::string& error) {
    if (line.empty()) return true;  // blank lines between records are harmless
    if (line.front() != ':') {
        error = error_text("a record must begin with ':', not %s", describe_char(line.front()).c_str());
        return false;
    }
    line.remove_prefix(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (hex_digit(line[i]) < 0) {
            error = error_text("%s in column %zu is not a hex digit", describe_char(line[i]).c_str(), i + 2);
            return false;
        }
    }
    if (line.size() % 2 != 0) {
        error = error_text("the record has an odd number of hex digits (%zu); it is cut short", line.size());
        return false;
    }
    const std::size_t total = line.size() / 2;
    if (total < RECORD_OVERHEAD) {
        error = error_text("the record is cut short: %zu bytes, fewer than the %d every record needs", total,
                           RECORD_OVERHEAD);
        return false;
    }
    if (total > MAX_RECORD) {
        error = error_text("the record holds %zu bytes, more than any record can", total);
        return false;
    }
    std::uint8_t bytes[MAX_RECORD];
    unsigned sum = 0;
    for (std::size_t i = 0; i < total; ++i) {
        bytes[i] = static_cast<std::uint8_t>(hex_digit(line[2 * i]) * 16 + hex_digit(line[2 * i + 1]));
        sum += bytes[i];
    }
    const int count = bytes[0];
    if (total != static_cast<std::size_t>(count) + RECORD_OVERHEAD) {
        error = error_text("the record announces %d data bytes but holds %zu", count, total - RECORD_OVERHEAD);
        return false;
    }
    if ((sum & 0xFF) != 0) {
        const unsigned expected = (bytes[total - 1] - sum) & 0xFF;
        error = error_text("bad checksum %02X, the record's bytes ask for %02X", bytes[total - 1], expected);
        return false;
    }
    const std::uint32_t offset = (std::uint32_t{bytes[1]} << 8) | bytes[2];
    const int type = bytes[3];
    const std::uint8_t* data = bytes + 4;
    const auto need_count = [&](int wanted, const char* what) {
        if (count == wanted) return true;
        error = error_text("%s record must hold %d data bytes, not %d", what, wanted, count);
        return false;
    };
    switch (type) {
        case RECORD_DATA:
            return take_data(offset, data, count, error);
        case RECORD_END:
            if (!need_count(0, "an end of file")) return false;
            done_ = true;
            return true;
        case RECORD_SEGMENT_ADDRESS:
            if (!need_count(2, "an extended segment address")) return false;
            base_ = ((std::uint32_t{data[0]} << 8) | data[1]) << 4;
            segmented_ = true;
            return true;
        case RECORD_LINEAR_ADDRESS:
            if (!need_count(2, "an extended linear address")) return false;
            base_ = ((std::uint32_t{data[0]} << 8) | data[1]) << 16;
            segmented_ = false;
            return true;
        case RECORD_START_SEGMENT:
            return need_count(4, "a start segment address");
        case RECORD_START_LINEAR:
            return need_count(4, "a start linear address");
        default:
            error = error_text("unknown record type %02X", type);
            return false;
    }
}

bool IntelHexReader::take_data(std::uint32_t offset, const std::uint8_t* data, int count, std::string& error) {
    for (int i = 0; i < count; ++i) {
        std::uint32_t at = offset + static_cast<std::uint32_t>(i);
        // Within a segment the offset wraps at 64K, as in the 8086's segment:offset addressing
        // the format comes from; a linear address carries on into the next 64K.
        if (segmented_) at &= 0xFFFF;
        if (!put_byte(image_, base_ + at, data[i], error)) return false;
    }
    return true;
}

std::string IntelHexReader::missing_end() const {
    return "the file ends without an end of file record (:00000001FF); it may be cut short";
}

namespace {

// A read-out of a large part is tens of thousands of records: each is encoded in one buffer
// and written with one call.
bool write_record(std::FILE* file, int type, std::uint32_t offset, const std::uint8_t* data, std::size_t count) {
    char line[1 + 2 * MAX_RECORD + 1];
    std::size_t length = 0;
    unsigned sum = 0;
    auto put = [&](unsigned byte) {
        line[length++] = HEX_DIGITS[(byte >> 4) & 0xF];
        line[length++] = HEX_DIGITS[byte & 0xF];
        sum += byte;
    };
    line[length++] = ':';
    put(static_cast<unsigned>(count));
    put((offset >> 8) & 0xFF);
    put(offset & 0xFF);
    put(static_cast<unsigned>(type));
    for (std::size_t i = 0; i < count; ++i) put(data[i]);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    line[length++] = '\n';
    return std::fwrite(line, 1, length, file) == length;
}

}  // namespace

IntelHexWriter::IntelHexWriter(std::FILE* file) : file_(file) {}

void IntelHexWriter::data(std::uint32_t address, const std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t PER_RECORD = 16;
    std::size_t done = 0;
    while (done < count) {
        const std::uint32_t at = address + static_cast<std::uint32_t>(done);
        if ((at >> 16) != upper_) {
            upper_ = at >> 16;
            const std::uint8_t page[2] = {static_cast<std::uint8_t>(upper_ >> 8), static_cast<std::uint8_t>(upper_)};
            write_record(file_, RECORD_LINEAR_ADDRESS, 0, page, 2);
        }
        // A record never crosses a 64K boundary, so its 16-bit offset stays true.
        std::size_t chunk = std::min(PER_RECORD, count - done);
        chunk = std::min<std::size_t>(chunk, 0x10000 - (at & 0xFFFF));
        write_record(file_, RECORD_DATA, at, bytes + done, chunk);
        done += chunk;
    }
}

bool IntelHexWriter::end() {
    write_record(file_, RECORD_END, 0, nullptr, 0);
    return !std::ferror(file_);
}

bool write_intel_hex(std::FILE* file, std::uint32_t address, const std::uint8_t* data, std::size_t count) {
    IntelHexWriter writer(file);
    writer.data(address, data, count);
    return writer.end();
}

bool write_intel_hex(std::FILE* file, const MemoryImage& image) {
    IntelHexWriter writer(file);
    std::vector<std::uint8_t> run;
    for (std::uint32_t at = image.lowest(); !image.empty() && at <= image.highest(); ++at) {
        if (!image.has(at)) continue;
        const std::uint32_t first = at;
        run.clear();
        for (; at <= image.highest() && image.has(at); ++at) run.push_back(image.at(at));
        writer.data(first, run.data(), run.size());
    }
    return writer.end();
}
