// vorland-cli's command line: the command, its file and the options, parsed and checked
// against each other before anything touches a file or the unit. Portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/serial_numbers.h"
#include "formats/image_formats.h"

enum class CliCommand {
    kNone,
    kHelp,
    kVersion,
    kDetect,
    kInfo,
    kRead,
    kProgram,
    kVerify,
    kErase,
    kBlank,
    kCompare
};

// An address range, both ends included.
struct HexRange {
    std::uint32_t start;
    std::uint32_t end;
    std::uint64_t length() const { return static_cast<std::uint64_t>(end) - start + 1; }
};

struct CliOptions {
    CliCommand command = CliCommand::kNone;
    std::string file;            // read, program, verify; compare: the first file
    std::string otherFile;       // compare: the second file
    // --port (repeatable) and --ports, in the order given, each once; shell-style patterns
    // are expanded by the program (ExpandPortPatterns) before the command runs. Empty:
    // DetectHardware's scan of the COM ports. More than one: the command runs on every unit.
    std::vector<std::string> ports;
    // --ports or a port pattern was given: the command runs as on several units (a file per
    // port, the table at the end) however many ports there are.
    bool several = false;
    bool all = false;            // detect: list every unit on every port tried
    std::int32_t chipType = -1;  // index into kChipTypes; -1 none given
    std::optional<HexRange> chipRange;
    std::optional<HexRange> fileRange;
    std::optional<ImageFormat> format;  // none: from the file name
    std::uint8_t fill = 0xFF;
    bool erase = false;        // program: erase the chip first
    bool changedOnly = false;  // program: write only the blocks that differ from the chip
    bool verify = true;        // program: verify afterwards
    bool quick = false;        // verify by the unit's checksum
    std::int32_t sector = -1;  // erase, blank: one sector; -1 the whole chip
    std::uint32_t baud = 0;    // link rate wanted; 0 the fastest the unit allows
    bool quiet = false;
    bool verbose = false;
    bool json = false;  // results as JSON Lines on stdout (json_records.h)

    // program: production runs. serialAt (an image address) turns stamping on.
    std::optional<std::uint32_t> serialAt;
    std::uint64_t serialStart = 1;
    bool serialStartGiven = false;  // --serial-start was given
    std::uint64_t serialStep = 1;
    SerialFormat serialFormat;
    std::string serialFile;  // the next number, kept from run to run; "" none
    bool repeat = false;     // round after round, Enter between them
    std::string logFile;     // JSON Lines appended per chip; "" none
    // A serial file or log that another run holds locked for seconds: wait for it (--if-busy
    // wait), or end the run (stop).
    bool waitWhenBusy = true;
};

// Parses argv[1..argc). On failure returns false with a one-line reason in error. Options may
// come before or after the command and its file; "--name=value" and "--name value" both work;
// "--" ends the options.
[[nodiscard]] bool ParseArguments(int argc, const char* const* argv, CliOptions& options,
                                  std::string& error);

// A chip type by its name without regard to case: the whole list text ("27C256 (Read-Only)")
// or its short name ("27c256"). -1 when none matches.
[[nodiscard]] std::int32_t FindChipTypeByName(std::string_view name);
// A chip type's short name: "AM29F040", "27C256"; "" for an index outside the table.
[[nodiscard]] std::string ChipShortName(std::int32_t chipType);

// A hexadecimal number: 1 to 8 digits, optionally after 0x. False for anything else.
[[nodiscard]] bool ParseHexNumber(std::string_view text, std::uint32_t& value);
// START-END (end included) or START+LENGTH, both hexadecimal; false for a reversed or empty
// range or one past 0xFFFFFFFF.
[[nodiscard]] bool ParseHexRange(std::string_view text, HexRange& range);

// The --help text.
std::string HelpText();
// The --version line.
const char* VersionText();
