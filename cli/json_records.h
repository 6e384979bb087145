// vorland-cli's results as scripts read them: one JSON object per line (JSON Lines), for
// --json on stdout and for --log. Every command that reports results as JSON builds them here,
// so that the fields keep one name and one form. Strings are escaped as JSON requires (quotes,
// backslashes, control characters); bytes that are not UTF-8 (a path in the ANSI code page)
// become U+FFFD. Portable; no shared state, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What info reports of a unit besides its name.
struct UnitFacts {
    std::string firmware;  // "1.0"
    char model = 0;        // the version reply's model letter
    std::string hardware;  // the information block: "01 02 03 04 05 06 07"
    int baud = 0;          // the link's rate
};

// The range a command worked on, and the checksums of the bytes there.
struct RangeSums {
    std::uint32_t first = 0;  // chip addresses, both included
    std::uint32_t last = 0;
    std::uint16_t sum16 = 0;
    std::uint32_t crc32 = 0;
};

// One unit's result, for one chip in one round. Empty strings and absent values are left out,
// except unit, which is null when nothing answered.
struct ChipRecord {
    std::string time;     // UtcTimestamp() when the result was known
    std::string run;      // program: the id of the run, the same on each of its records
    std::string version;  // program: vorland-cli's version
    std::optional<unsigned> round;
    std::string port;
    std::string unit;  // "Tandrel USB v2.5.A"
    std::string chip;  // "AM29F040"
    std::string image;  // program: the image file's name
    std::optional<std::uint32_t> imageCrc32;  // program: of the image's bytes before stamping
    std::optional<std::uint64_t> serial;
    // "verified", "programmed", "failed", "read", "matches", ...; a production log also has
    // "started" (written before the chip is programmed) and "interrupted" (a started chip whose
    // run ended before its result, recorded by the next run).
    std::string result;
    // A failed chip's serial number: true when it went back to be given again, false when the
    // chip may carry it (it is then never given again).
    std::optional<bool> returned;
    std::string verify;   // program: "full", "quick" or "none"
    std::string message;  // for a failure, the text the terminal shows
    std::string file;     // read: the file written
    std::optional<RangeSums> sums;
    std::optional<UnitFacts> facts;
};

// The object on one line, without a line end. Field order: time, run, version, round, port,
// unit, chip, image, image_crc32 (eight upper-case hex digits), serial, result, returned,
// verify, message, file, range ("START-END", six hex digits each), sum (four upper-case hex
// digits), crc32 (eight), then firmware, model, hardware, baud.
[[nodiscard]] std::string RecordJson(const ChipRecord& record);
// Reads back what RecordJson wrote, without facts; false for a line that is not such an object.
[[nodiscard]] bool ParseRecordJson(const std::string& line, ChipRecord& record);

// compare's result: one object for the whole comparison, then one per differing range.
struct CompareSummary {
    std::string fileA, fileB;
    std::uint64_t bytes = 0;   // differing positions, a longer file's extra bytes included
    std::uint64_t ranges = 0;  // all ranges, listed or not
};
// {"time":...,"file":A,"other":B,"result":"same"|"differs","bytes":N,"ranges":M}
[[nodiscard]] std::string CompareSummaryJson(const CompareSummary& summary);
// {"range":"002000-00200F","bytes":16}; range as HexAddressRange writes it.
[[nodiscard]] std::string DiffRangeJson(const std::string& range, std::uint32_t bytes);

// Now, in UTC: "2025-03-01T14:07:09.123Z".
[[nodiscard]] std::string UtcTimestamp();
