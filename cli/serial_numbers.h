// Serial numbers for production runs: how a number is written into the image (--serial-format),
// which number each chip gets (SerialPool), and the file that carries the next number from one
// run to the next (--serial-file). Portable.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct SerialFormat {
    enum Kind { kLe16, kBe16, kLe32, kBe32, kDecimal, kHex };
    Kind kind = kLe32;
    std::uint32_t width = 4;  // bytes in the image; for kDecimal and kHex also the digits
};

// "le16", "be16", "le32", "be32", "dec:W" (W 1 to 19), "hex:W" (W 1 to 16); false otherwise.
[[nodiscard]] bool ParseSerialFormat(std::string_view text, SerialFormat& format);
// The text ParseSerialFormat takes: "le32", "dec:8".
[[nodiscard]] std::string SerialFormatName(const SerialFormat& format);
// The largest number the format can hold.
[[nodiscard]] std::uint64_t SerialFormatMax(const SerialFormat& format);
// Writes number (at most SerialFormatMax) as format's width bytes to out: binary little or big
// endian, or ASCII digits zero-padded on the left (hex in upper case).
void WriteSerialBytes(const SerialFormat& format, std::uint64_t number, std::uint8_t* out);

// A decimal number, or hexadecimal after 0x, that fits 64 bits; false for anything else.
[[nodiscard]] bool ParseSerialNumber(std::string_view text, std::uint64_t& value);

// The numbers of a run: first, first + step, first + 2 step, ... Each chip takes the lowest
// number that no good chip carries and no other chip holds; a chip that fails gives its number
// back. So the good chips carry consecutive numbers, with no gap and no repeat, once the run's
// last round has refilled the numbers failed chips gave back. One thread.
class SerialPool {
  public:
    SerialPool(std::uint64_t first, std::uint64_t step) : first_(first), step_(step) {}

    // The numbers for count chips, in order; false when one would pass max (nothing taken).
    [[nodiscard]] bool Take(std::size_t count, std::uint64_t max, std::vector<std::uint64_t>& out);
    // A taken number's chip ended: good, or it gives the number back.
    void Settle(std::uint64_t number, bool good);

    // No number from here on has been given to a chip that may be good: what the serial file
    // holds before a round (counting the round's numbers as taken) and after it.
    std::uint64_t Next() const { return first_ + high_ * step_; }
    std::uint64_t goodCount() const { return good_; }
    // The lowest and highest numbers good chips carry; only when goodCount() > 0.
    std::uint64_t lowestGood() const { return lowestGood_; }
    std::uint64_t highestGood() const { return highestGood_; }

  private:
    std::uint64_t first_;
    std::uint64_t step_;
    std::uint64_t high_ = 0;            // index of the first number never taken
    std::set<std::uint64_t> returned_;  // indexes below high_ given back by failed chips
    std::uint64_t good_ = 0;
    std::uint64_t lowestGood_ = 0;
    std::uint64_t highestGood_ = 0;
};

// Reads the next number from path. False with a message in error when the file exists but does
// not hold one number (decimal, or hex after 0x; blanks and a line end around it are fine);
// *exists tells whether it was there at all.
[[nodiscard]] bool ReadSerialFile(const std::string& path, std::uint64_t& next, bool* exists,
                                  std::string& error);
// Replaces path with next in decimal and a line end, atomically (WriteFileReplacing). False
// with a message in error.
[[nodiscard]] bool WriteSerialFile(const std::string& path, std::uint64_t next, std::string& error);
