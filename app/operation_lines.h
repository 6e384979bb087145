// Lines the programmer window adds after the specified result line of a verify or a blank check.
// Portable.
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

// "Differences: 19 bytes in 3 ranges, first 000100-000100": where the bytes a full verify read of
// the chip differ from the buffer's (length bytes each, the chip's from chipStart on); "" when
// they agree.
std::string VerifyDifferencesLine(const std::uint8_t* chip, const std::uint8_t* buffer,
                                  std::uint32_t length, std::uint32_t chipStart);

// "Not blank: 2 bytes in 2 ranges, first 030000-030000": the bytes read from chipStart on that
// are not FF; "" when all are.
std::string NotBlankLine(const std::uint8_t* chip, std::uint32_t length, std::uint32_t chipStart);
