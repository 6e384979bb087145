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

// Reads back what WriteSerialBytes wrote: false when the bytes are not such a number (an ASCII
// format with a byte that is not one of its digits).
[[nodiscard]] bool ReadSerialBytes(const SerialFormat& format, const std::uint8_t* bytes,
                                   std::uint64_t& number);

// The numbers as a person reads them, ascending, runs of numbers step apart joined:
// "10, 12 to 15".
[[nodiscard]] std::string SerialNumberList(const std::set<std::uint64_t>& numbers,
                                           std::uint64_t step);

// A number that a run took for a chip that has not ended yet.
struct SerialInFlight {
    std::uint64_t number = 0;
    std::string run;  // the run's id
    unsigned round = 0;
    std::string port;
};

// What the serial file holds: the next number never taken (its first line, alone, as files of
// earlier versions hold it), the numbers that failed chips gave back ("returned N"), and the
// numbers taken for chips that have not ended ("started N run ID round R port PORT"). A number
// below next that is in neither list is on a chip, or may be: it is never given again.
struct SerialState {
    std::uint64_t next = 1;
    std::set<std::uint64_t> returned;
    std::vector<SerialInFlight> started;

    // The numbers for count chips, in order: the lowest returned ones first, then new ones from
    // next on, step apart. False when one would pass max, with that number in *unfit (nothing
    // taken then).
    [[nodiscard]] bool Take(std::size_t count, std::uint64_t step, std::uint64_t max,
                            std::vector<std::uint64_t>& out, std::uint64_t* unfit);
    // A number taken by this state's holder goes back: the next number again when it was the
    // last one taken, else a returned one.
    void GiveBack(std::uint64_t number, std::uint64_t step);
    // Forgets the in-flight entry of number, if any.
    void Ended(std::uint64_t number);
};

// The file's text: a UTF-8 byte-order mark and CR LF line ends (a file saved by Notepad) are
// read too. False with the reason in error (the file's name is the caller's to add).
[[nodiscard]] bool ParseSerialState(std::string_view text, SerialState& state, std::string& error);
// The file's text, LF line ends.
[[nodiscard]] std::string SerialStateText(const SerialState& state);
