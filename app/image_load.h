// Loading an Intel HEX or S-record file into the image buffer: what it does to the buffer, which
// ranges it sets and what it logs. Portable; the file dialog, the file itself and the address
// boxes are image_files_win.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/image_formats.h"

struct AddressedLoad {
    std::vector<std::string> lines;  // for the log pane, in order
    // Whether the buffer was changed. Only then do the ranges below apply; otherwise buffer and
    // boxes stay as they were.
    bool placed = false;
    // The buffer range: the span of the file's data widened to whole 64-byte blocks. The chip
    // range is set to the same addresses, also when they lie past the chip (Program then
    // refuses the range).
    std::int32_t start = 0;
    std::int32_t end = 0;
};

// Parses text, the whole file at path, as format (Intel HEX or S-record). When every record is
// sound and all data lies inside the buffer, the buffer (kImageBufferSize bytes at image) is set
// to FF, the erased state, and each byte put at its record address; the lines then tell the
// file, its data, whether it fits a chip of chipSize bytes, and the checksums of the new buffer
// range. A bad record, a conflict between records, data past the buffer or a file without data
// leaves image untouched, with one line saying why (naming the file's line where there is one).
AddressedLoad LoadAddressedImage(ImageFormat format, std::string_view text, const std::string& path,
                                 std::int32_t chipSize, std::uint8_t* image);

// The warning that data up to highest lies past a chip of chipSize bytes (the range then stays
// where the data is, and Program refuses it).
std::string FitWarningLine(std::uint32_t highest, std::int32_t chipSize);

// The file name of a path, without its folders.
std::string FileNameOf(const std::string& path);
