// Image files: raw binary, Intel HEX and Motorola S-record, read into a SparseImage and written
// from a run of bytes. Portable; no file access here (the caller reads and writes the bytes).
//
// Reading
//   Intel HEX: records 00 (data), 01 (end of file), 02 (extended segment address: following
//   data at segment * 16 + offset), 04 (extended linear address: upper 16 address bits); 03
//   and 05 (start addresses) are checked and kept in ImageRecords (a chip has no entry point,
//   but a file saved again keeps it). A data
//   record must stay inside its 64 KiB segment: writers disagree on whether such a record
//   wraps or runs on, so one that would cross is refused. The file must end with an 01 record.
//   S-record: S0 (header, kept), S1/S2/S3 (data at 16/24/32-bit addresses), S5/S6 (record
//   count, checked against the data records before it), S7/S8/S9 (end, whose address is the
//   start address, kept when it is not 0). S4 is refused. A file
//   without an end record is taken with a note (many converters write none), but then the
//   last count record, if any, must count every data record.
//   Both: upper- or lower-case digits, LF or CR LF line ends, blank lines and surrounding
//   blanks are allowed; after the end record only blanks and a DOS end-of-file mark (Ctrl+Z)
//   may follow, so that a second file glued to the first is not silently dropped. Every record's
//   checksum is checked. Overlapping records that agree are merged; records that disagree are
//   an error naming both lines.
// Writing
//   Records for the runs of data of an image, and only for them: 32 data bytes per record, CR LF
//   line ends, upper-case digits.
//   Intel HEX: 00 records that never cross a 64 KiB boundary, an 04 record whenever the upper
//   16 address bits change (none at all while they are 0, so 16-bit readers cope), the start
//   address record (03 or 05) when there is one, then 01.
//   S-record: the S0 header when there is one, data records of the smallest address width that
//   holds the last address and the start address (S1, S2 or S3), an S5 count (S6 past 65535
//   records), and the matching end record (S9, S8 or S7) with the start address, else 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/sparse_image.h"

enum class ImageFormat { kBinary, kIntelHex, kSRecord };

// No HEX or S-record file is read past this size: its text takes less than three characters
// per byte of data, so this is far beyond any chip and any image (kMaxImageBytes).
inline constexpr std::uint64_t kMaxImageTextSize = 64u << 20;

// "binary", "Intel HEX", "S-record".
[[nodiscard]] const char* ImageFormatName(ImageFormat format);
// The format a file name's extension names, case-insensitive: .bin .rom .raw, .hex .ihx .ihex,
// .srec .s19 .s28 .s37 .mot. Nothing for any other name.
[[nodiscard]] std::optional<ImageFormat> ImageFormatFromPath(std::string_view path);
// The format a --format value names: bin (binary, raw), hex (ihex), srec (s19, mot).
[[nodiscard]] std::optional<ImageFormat> ImageFormatFromName(std::string_view name);
// Whether the format carries addresses (HEX, S-record) rather than file offsets.
inline bool FormatHasAddresses(ImageFormat format) {
    return format != ImageFormat::kBinary;
}

// What a HEX or S-record file holds besides its data, so that saving it again gives it back.
struct ImageRecords {
    bool hasHeader = false;  // an S-record S0 header
    std::string header;      // its bytes (conventionally a name)
    enum class Start : std::uint8_t { kNone, kSegment, kLinear };
    Start start = Start::kNone;  // Intel HEX 03 is kSegment, 05 and S7/S8/S9 kLinear
    std::uint32_t startAddress = 0;  // kSegment: CS << 16 | IP
    bool operator==(const ImageRecords&) const = default;
};

// What was wrong with a file: line counts from 1; 0 means the file as a whole. A file that is
// taken may still carry a note for the user (not an error).
struct ImageError {
    std::uint32_t line = 0;
    std::string message;
    std::string note;
};

// Each parses text (the whole file) into image, which should be empty, and what else it holds
// into records when given. On failure error says why and the image holds whatever came before
// the bad record: use none of it.
[[nodiscard]] bool ParseIntelHex(std::string_view text, SparseImage& image, ImageError& error,
                                 ImageRecords* records = nullptr);
[[nodiscard]] bool ParseSRecord(std::string_view text, SparseImage& image, ImageError& error,
                                ImageRecords* records = nullptr);
[[nodiscard]] bool ParseBinary(std::string_view bytes, SparseImage& image, ImageError& error);
[[nodiscard]] bool ParseImage(ImageFormat format, std::string_view bytes, SparseImage& image,
                              ImageError& error, ImageRecords* records = nullptr);

// The file text of an image's runs with records: S-record for kSRecord, else Intel HEX (a binary
// file has no records: WriteImage writes it).
[[nodiscard]] std::string WriteImageFile(ImageFormat format, const SparseImage& image,
                                         const ImageRecords& records);

// The file text of length bytes that belong at address (address + length must not pass 2^32).
[[nodiscard]] std::string WriteIntelHex(const std::uint8_t* data, std::uint32_t length,
                                        std::uint32_t address);
// header: the S0 record's text (cut at 64 characters), conventionally the file's name.
[[nodiscard]] std::string WriteSRecord(const std::uint8_t* data, std::uint32_t length,
                                       std::uint32_t address, std::string_view header);
// The file of length bytes that belong at address in any format: a binary file holds the bytes
// alone (it has no addresses); header is the S-record's S0 text.
[[nodiscard]] std::string WriteImage(ImageFormat format, const std::uint8_t* data,
                                     std::uint32_t length, std::uint32_t address,
                                     std::string_view header);
