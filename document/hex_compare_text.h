// What a compare found, in words: the count, the programmer window's log line and the lines that
// list ranges with their bytes. Addresses are the compared positions plus base, in six hex
// digits (a chip's), eight where they pass FFFFFF. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "document/hex_compare.h"

// "002000-00200F": first to last.
std::string HexAddressRange(std::uint32_t first, std::uint32_t last);

// "Differences: 19 bytes in 3 ranges, first 000100-000100", with what ("Differences", "Not
// blank") first; "" when the list is empty.
std::string HexDiffSummaryLine(const char* what, const HexDiffList& list, std::uint32_t base);

// The count, then the first maxRanges listed ranges, one line each, every line ending in a line
// break:
//   "19 bytes differ in 3 ranges" ("1 byte differs in 1 range")
//   "002000-00200F  file 55 AA 55 AA 55 AA 55 AA ...  chip 00 00 00 00 00 00 00 00 ..."
// up to 8 bytes of each side, "..." when the range holds more, "(past its end)" for the side
// that the range lies beyond. The second label stands in one column on every line.
std::string HexDiffReport(const HexDiffList& list, const HexCompareSide& a,
                          const std::string& labelA, const HexCompareSide& b,
                          const std::string& labelB, std::uint32_t base, std::size_t maxRanges);
