// Lines the programmer window adds after a verify's specified result line. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "device/tandrel_failure.h"

// Where a verify that did not match found the chip different: the first differing byte by chip
// and buffer address with both values (read back byte by byte), or the two checksums of the
// range the unit summed (a quick verify). After programming it adds that a flash chip may need
// erasing first. chipStart and bufferStart are the addresses of the verified range's first byte.
std::string VerifyDifferenceLine(const TandrelFailure& failure, std::uint32_t chipStart,
                                 std::uint32_t bufferStart, bool afterProgram);
