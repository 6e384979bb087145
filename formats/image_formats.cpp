#include "formats/image_formats.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "formats/checksums.h"
#include "formats/text_format.h"

namespace {

// One line of a text image with its surrounding blanks cut off.
struct TextLine {
    std::uint32_t number;   // from 1
    std::string_view text;  // without blanks, CR and Ctrl+Z around it
    std::size_t column;     // of text's first character in the line, from 1
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\x1A';
}

// Calls visit(line) for each non-blank line until it returns false; returns what the last call
// returned (true when every line was taken).
template <typename Visit>
bool ForEachLine(std::string_view text, Visit visit) {
    // Editors on Windows often start a UTF-8 text with a byte-order mark.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::uint32_t number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        std::size_t first = 0;
        while (first < line.size() && IsBlank(line[first])) ++first;
        std::size_t last = line.size();
        while (last > first && IsBlank(line[last - 1])) --last;
        if (first == last) continue;
        if (!visit(TextLine{number, line.substr(first, last - first), first + 1})) return false;
    }
    return true;
}

// Decodes the digit pairs of line.text from offset on into bytes; false with error set.
bool DecodeBytes(const TextLine& line, std::size_t offset, std::vector<std::uint8_t>& bytes,
                 ImageError& error) {
    bytes.clear();
    std::string_view digits = line.text.substr(offset);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (HexDigitValue(digits[i]) < 0) {
            const unsigned char c = static_cast<unsigned char>(digits[i]);
            error.message = std::isprint(c) != 0
                                ? Printf("'%c' is not a hexadecimal digit (column %u)", c,
                                         static_cast<unsigned>(line.column + offset + i))
                                : Printf("byte 0x%02X is not a hexadecimal digit (column %u)", c,
                                         static_cast<unsigned>(line.column + offset + i));
            return false;
        }
    }
    if (digits.size() % 2 != 0) {
        error.message = "odd number of hexadecimal digits";
        return false;
    }
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(HexDigitValue(digits[i]) * 16 +
                                                  HexDigitValue(digits[i + 1])));
    }
    return true;
}

std::uint8_t SumOf(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    return static_cast<std::uint8_t>(ByteSumUpdate(0, bytes.data(), count));
}

// Whether a record's last byte is the checksum its other bytes need; false with error set.
bool ChecksumMatches(const std::vector<std::uint8_t>& bytes, std::uint8_t expected,
                     ImageError& error) {
    if (bytes.back() == expected) return true;
    error.message = Printf("bad checksum: the record says 0x%02X, its bytes need 0x%02X",
                           bytes.back(), expected);
    return false;
}

// Adds a record's data to the image; false with error set.
bool AddData(SparseImage& image, std::uint64_t address, const std::uint8_t* data, std::size_t size,
             std::uint32_t line, ImageError& error) {
    SparseImage::Conflict conflict{};
    switch (image.Add(address, data, size, line, &conflict)) {
        case SparseImage::AddResult::kAdded: return true;
        case SparseImage::AddResult::kConflict:
            error.message =
                Printf("the byte at 0x%08X differs from line %u (0x%02X there, 0x%02X here)",
                       static_cast<unsigned>(conflict.address),
                       static_cast<unsigned>(conflict.line), conflict.first, conflict.second);
            return false;
        case SparseImage::AddResult::kTooLarge:
            error.message = "the image holds more than 16 MiB of data";
            return false;
        case SparseImage::AddResult::kPastAddressSpace:
            error.message = "the data runs past address 0xFFFFFFFF";
            return false;
    }
    return false;
}

// Checks the lines after an end record: only blanks may follow.
bool NothingAfter(std::string_view text, std::uint32_t endLine, const char* what,
                  ImageError& error) {
    return ForEachLine(text, [&](const TextLine& line) {
        if (line.number <= endLine) return true;
        error.line = line.number;
        error.message = Printf("text after the %s", what);
        return false;
    });
}

std::string HexText(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

constexpr std::uint32_t kRecordData = 32;

}  // namespace

const char* ImageFormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::kBinary: return "binary";
        case ImageFormat::kIntelHex: return "Intel HEX";
        case ImageFormat::kSRecord: return "S-record";
    }
    return "";
}

std::optional<ImageFormat> ImageFormatFromPath(std::string_view path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t separator = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator)) {
        return std::nullopt;
    }
    std::string extension;
    for (char c : path.substr(dot + 1)) {
        extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == "bin" || extension == "rom" || extension == "raw") return ImageFormat::kBinary;
    if (extension == "hex" || extension == "ihx" || extension == "ihex") {
        return ImageFormat::kIntelHex;
    }
    if (extension == "srec" || extension == "s19" || extension == "s28" || extension == "s37" ||
        extension == "mot") {
        return ImageFormat::kSRecord;
    }
    return std::nullopt;
}

std::optional<ImageFormat> ImageFormatFromName(std::string_view name) {
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "bin" || lower == "binary" || lower == "raw") return ImageFormat::kBinary;
    if (lower == "hex" || lower == "ihex") return ImageFormat::kIntelHex;
    if (lower == "srec" || lower == "s19" || lower == "mot") return ImageFormat::kSRecord;
    return std::nullopt;
}

bool ParseIntelHex(std::string_view text, SparseImage& image, ImageError& error,
                   ImageRecords* records) {
    ImageRecords found;
    std::uint64_t base = 0;  // from the last 02 or 04 record
    bool linear = false;     // the last address record was 04
    std::uint32_t endLine = 0;
    std::vector<std::uint8_t> bytes;
    const bool allTaken = ForEachLine(text, [&](const TextLine& line) {
        error.line = line.number;
        if (line.text[0] != ':') {
            error.message = "not an Intel HEX record (it does not start with ':')";
            return false;
        }
        if (!DecodeBytes(line, 1, bytes, error)) return false;
        if (bytes.size() < 5) {
            error.message = "too short for a record";
            return false;
        }
        const std::uint32_t count = bytes[0];
        if (bytes.size() != count + 5u) {
            error.message = Printf("the record announces %u data bytes but holds %u", count,
                                   static_cast<unsigned>(bytes.size() - 5));
            return false;
        }
        const std::uint8_t sum = SumOf(bytes, bytes.size() - 1);
        if (!ChecksumMatches(bytes, static_cast<std::uint8_t>(0x100 - sum), error)) return false;
        const std::uint32_t offset = bytes[1] << 8 | bytes[2];
        const std::uint8_t type = bytes[3];
        const std::uint8_t* data = bytes.data() + 4;
        switch (type) {
            case 0x00:
                // Under 04 addressing a record goes on into the next 64 KiB (srec_cat writes
                // such records); a segment's offset would wrap to its start instead.
                if (offset + count > 0x10000 && !linear) {
                    error.message = "the record's data runs past the end of its 64 KiB segment";
                    return false;
                }
                return AddData(image, base + offset, data, count, line.number, error);
            case 0x01:
                if (count != 0) {
                    error.message = "an end-of-file record (01) carries no data";
                    return false;
                }
                endLine = line.number;
                return false;
            case 0x02:
            case 0x04:
                if (count != 2) {
                    error.message =
                        Printf("an address record (%02X) holds 2 bytes, not %u", type, count);
                    return false;
                }
                base = static_cast<std::uint64_t>(data[0] << 8 | data[1])
                       << (type == 0x02 ? 4 : 16);
                linear = type == 0x04;
                return true;
            case 0x03:
            case 0x05:
                if (count != 4) {
                    error.message =
                        Printf("a start address record (%02X) holds 4 bytes, not %u", type, count);
                    return false;
                }
                found.start = type == 0x03 ? ImageRecords::Start::kSegment
                                           : ImageRecords::Start::kLinear;
                found.startAddress = static_cast<std::uint32_t>(data[0]) << 24 |
                                     static_cast<std::uint32_t>(data[1]) << 16 |
                                     static_cast<std::uint32_t>(data[2]) << 8 | data[3];
                return true;
            default: error.message = Printf("unknown record type %02X", type); return false;
        }
    });
    if (endLine == 0) {
        if (allTaken) {
            error.line = 0;
            error.message = "no end-of-file record (01): the file may be cut short";
        }
        return false;
    }
    if (!NothingAfter(text, endLine, "end-of-file record", error)) return false;
    if (records != nullptr) *records = found;
    return true;
}

bool ParseSRecord(std::string_view text, SparseImage& image, ImageError& error,
                  ImageRecords* records) {
    ImageRecords found;
    std::uint32_t dataRecords = 0;
    std::uint32_t countLine = 0;  // of the last S5 or S6 record
    std::uint32_t countSays = 0;  // how many data records it counts
    std::uint32_t endLine = 0;
    char endType = 0;
    std::vector<std::uint8_t> bytes;
    const bool allTaken = ForEachLine(text, [&](const TextLine& line) {
        error.line = line.number;
        if (line.text[0] != 'S') {
            error.message = "not an S-record (it does not start with 'S')";
            return false;
        }
        if (line.text.size() < 2 || line.text[1] < '0' || line.text[1] > '9') {
            error.message = "'S' is not followed by a record type digit";
            return false;
        }
        const char type = line.text[1];
        if (type == '4') {
            error.message = "S4 is a reserved record type";
            return false;
        }
        if (!DecodeBytes(line, 2, bytes, error)) return false;
        if (bytes.empty()) {
            error.message = "too short for a record";
            return false;
        }
        const std::uint32_t count = bytes[0];
        if (bytes.size() != count + 1u) {
            error.message = Printf("the record announces %u bytes but holds %u", count,
                                   static_cast<unsigned>(bytes.size() - 1));
            return false;
        }
        // Address bytes of each type: S0 S1 S2 S3 S4 S5 S6 S7 S8 S9.
        static const std::uint32_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
        const std::uint32_t addressBytes = kAddressBytes[type - '0'];
        if (count < addressBytes + 1) {
            error.message = Printf("too short for an S%c record", type);
            return false;
        }
        const std::uint8_t sum = SumOf(bytes, bytes.size() - 1);
        if (!ChecksumMatches(bytes, static_cast<std::uint8_t>(~sum), error)) return false;
        std::uint32_t address = 0;
        for (std::uint32_t i = 0; i < addressBytes; ++i) address = address << 8 | bytes[1 + i];
        const std::uint8_t* data = bytes.data() + 1 + addressBytes;
        const std::size_t dataSize = count - addressBytes - 1;
        switch (type) {
            case '0':
                found.hasHeader = true;
                found.header.assign(data, data + dataSize);
                return true;
            case '1':
            case '2':
            case '3':
                ++dataRecords;
                return AddData(image, address, data, dataSize, line.number, error);
            case '5':
            case '6':
                if (dataSize != 0) {
                    error.message = Printf("an S%c count record carries no data", type);
                    return false;
                }
                if (address != dataRecords) {
                    error.message =
                        Printf("the record count says %u data records, the file holds %u before it",
                               static_cast<unsigned>(address), static_cast<unsigned>(dataRecords));
                    return false;
                }
                countLine = line.number;
                countSays = address;
                return true;
            default:  // S7, S8, S9
                if (dataSize != 0) {
                    error.message = Printf("an S%c end record carries no data", type);
                    return false;
                }
                endLine = line.number;
                endType = type;
                // 0 is what writers put there when there is no start address.
                if (address != 0) {
                    found.start = ImageRecords::Start::kLinear;
                    found.startAddress = address;
                }
                return false;
        }
    });
    if (endLine == 0) {
        // Many converters write no end record unless given a start address: take the file as
        // it is, with a note, unless its record count shows that data records follow it.
        if (!allTaken) return false;
        if (countLine != 0 && countSays != dataRecords) {
            error.line = countLine;
            error.message =
                Printf("the record count says %u data records, the file holds %u",
                       static_cast<unsigned>(countSays), static_cast<unsigned>(dataRecords));
            return false;
        }
        error.line = 0;
        error.message.clear();
        error.note = countLine != 0 ? "no end record (S7, S8 or S9); the file is taken as "
                                      "complete, as its record count matches"
                                    : "no end record (S7, S8 or S9); the file is taken as complete";
        if (records != nullptr) *records = found;
        return true;
    }
    const std::string what = std::string("end record (S") + endType + ")";
    if (!NothingAfter(text, endLine, what.c_str(), error)) return false;
    if (records != nullptr) *records = found;
    return true;
}

bool ParseBinary(std::string_view bytes, SparseImage& image, ImageError& error) {
    error.line = 0;
    return AddData(image, 0, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0,
                   error);
}

bool ParseImage(ImageFormat format, std::string_view bytes, SparseImage& image, ImageError& error,
                ImageRecords* records) {
    switch (format) {
        case ImageFormat::kBinary: return ParseBinary(bytes, image, error);
        case ImageFormat::kIntelHex: return ParseIntelHex(bytes, image, error, records);
        case ImageFormat::kSRecord: return ParseSRecord(bytes, image, error, records);
    }
    return false;
}

namespace {

void AppendIntelRecord(std::string& out, std::uint8_t type, std::uint16_t offset,
                       const std::uint8_t* data, std::uint32_t size) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(size),
                                       static_cast<std::uint8_t>(offset >> 8),
                                       static_cast<std::uint8_t>(offset), type};
    bytes.insert(bytes.end(), data, data + size);
    bytes.push_back(static_cast<std::uint8_t>(0x100 - SumOf(bytes, bytes.size())));
    out += ':';
    out += HexText(bytes);
    out += "\r\n";
}

void AppendSRecord(std::string& out, char type, std::uint32_t address, std::uint32_t addressBytes,
                   const std::uint8_t* data, std::uint32_t size) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(addressBytes + size + 1)};
    for (std::uint32_t i = addressBytes; i-- > 0;) {
        bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    }
    bytes.insert(bytes.end(), data, data + size);
    bytes.push_back(static_cast<std::uint8_t>(~SumOf(bytes, bytes.size())));
    out += 'S';
    out += type;
    out += HexText(bytes);
    out += "\r\n";
}

}  // namespace

namespace {

using Runs = std::vector<SparseImage::Run>;

// Calls record(address, bytes, count) for the data of runs in records of at most kRecordData
// bytes at consecutive addresses; with split set a record never crosses a 64 KiB boundary.
// Touching runs fill records across their border.
template <typename Record>
void ForEachRecord(const Runs& runs, bool split, Record record) {
    std::uint8_t bytes[kRecordData];
    std::uint32_t count = 0;
    std::uint64_t first = 0;
    for (const SparseImage::Run& run : runs) {
        for (std::uint32_t i = 0; i < run.length; ++i) {
            const std::uint64_t at = std::uint64_t{run.address} + i;
            const bool follows = count > 0 && first + count == at;
            if (count > 0 && (!follows || count == kRecordData || (split && (at & 0xFFFF) == 0))) {
                record(static_cast<std::uint32_t>(first), bytes, count);
                count = 0;
            }
            if (count == 0) first = at;
            bytes[count++] = run.data[i];
        }
    }
    if (count > 0) record(static_cast<std::uint32_t>(first), bytes, count);
}

std::string IntelHexOf(const Runs& runs, const ImageRecords& records) {
    std::string out;
    std::uint64_t total = 0;
    for (const SparseImage::Run& run : runs) total += run.length;
    out.reserve(static_cast<std::size_t>(total / kRecordData * 77 + 64));
    std::uint32_t upper = 0;  // the upper address bits in force: none given means 0
    ForEachRecord(runs, true, [&](std::uint32_t at, const std::uint8_t* data, std::uint32_t size) {
        if (at >> 16 != upper) {
            upper = at >> 16;
            const std::uint8_t bits[2] = {static_cast<std::uint8_t>(upper >> 8),
                                          static_cast<std::uint8_t>(upper)};
            AppendIntelRecord(out, 0x04, 0, bits, 2);
        }
        AppendIntelRecord(out, 0x00, static_cast<std::uint16_t>(at), data, size);
    });
    if (records.start != ImageRecords::Start::kNone) {
        const std::uint32_t a = records.startAddress;
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(a >> 24),
                                       static_cast<std::uint8_t>(a >> 16),
                                       static_cast<std::uint8_t>(a >> 8),
                                       static_cast<std::uint8_t>(a)};
        AppendIntelRecord(out, records.start == ImageRecords::Start::kSegment ? 0x03 : 0x05, 0,
                          bytes, 4);
    }
    AppendIntelRecord(out, 0x01, 0, nullptr, 0);
    return out;
}

std::string SRecordOf(const Runs& runs, const ImageRecords& records) {
    // A segment start (CS:IP) is the address CS * 16 + IP.
    const std::uint32_t start = records.start == ImageRecords::Start::kSegment
                                    ? (records.startAddress >> 16) * 16 +
                                          (records.startAddress & 0xFFFF)
                                    : records.startAddress;
    std::uint64_t last = records.start != ImageRecords::Start::kNone ? start : 0;
    std::uint64_t total = 0;
    for (const SparseImage::Run& run : runs) {
        last = std::max(last, std::uint64_t{run.address} + run.length - 1);
        total += run.length;
    }
    const std::uint32_t addressBytes = last <= 0xFFFF ? 2 : last <= 0xFFFFFF ? 3 : 4;
    const char dataType = static_cast<char>('0' + addressBytes - 1);  // S1, S2, S3
    const char endType = static_cast<char>('0' + 11 - addressBytes);  // S9, S8, S7

    std::string out;
    out.reserve(static_cast<std::size_t>(total / kRecordData * 80 + 128));
    if (records.hasHeader) {
        const std::string_view header = std::string_view(records.header).substr(0, 252);
        AppendSRecord(out, '0', 0, 2, reinterpret_cast<const std::uint8_t*>(header.data()),
                      static_cast<std::uint32_t>(header.size()));
    }
    std::uint32_t count = 0;
    ForEachRecord(runs, false, [&](std::uint32_t at, const std::uint8_t* data, std::uint32_t size) {
        AppendSRecord(out, dataType, at, addressBytes, data, size);
        ++count;
    });
    if (count <= 0xFFFF) {
        AppendSRecord(out, '5', count, 2, nullptr, 0);
    } else {
        AppendSRecord(out, '6', count, 3, nullptr, 0);
    }
    AppendSRecord(out, endType, records.start != ImageRecords::Start::kNone ? start : 0,
                  addressBytes, nullptr, 0);
    return out;
}

Runs OneRun(const std::uint8_t* data, std::uint32_t length, std::uint32_t address) {
    if (length == 0) return {};
    return {SparseImage::Run{address, length, data}};
}

}  // namespace

std::string WriteIntelHex(const std::uint8_t* data, std::uint32_t length, std::uint32_t address) {
    return IntelHexOf(OneRun(data, length, address), ImageRecords{});
}

std::string WriteSRecord(const std::uint8_t* data, std::uint32_t length, std::uint32_t address,
                         std::string_view header) {
    ImageRecords records;
    records.hasHeader = true;
    records.header = header.substr(0, 64);
    return SRecordOf(OneRun(data, length, address), records);
}

std::string WriteImage(ImageFormat format, const std::uint8_t* data, std::uint32_t length,
                       std::uint32_t address, std::string_view header) {
    switch (format) {
        case ImageFormat::kIntelHex: return WriteIntelHex(data, length, address);
        case ImageFormat::kSRecord: return WriteSRecord(data, length, address, header);
        case ImageFormat::kBinary: break;
    }
    return std::string(reinterpret_cast<const char*>(data), length);
}

std::string WriteImageFile(ImageFormat format, const SparseImage& image,
                           const ImageRecords& records) {
    return format == ImageFormat::kSRecord ? SRecordOf(image.Runs(), records)
                                           : IntelHexOf(image.Runs(), records);
}
