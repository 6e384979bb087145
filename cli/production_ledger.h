// The books of a run on several units, round after round: the serial numbers (SerialPool and
// the --serial-file that carries the next one from run to run), one JSON record per chip as it
// ends (--log, and stdout with --json), and the summary at the end. Portable.
//
// The serial file never names a number a good chip may carry: before a round it is replaced by
// the number after every number the round takes, after the round by the number after the last
// good one. A run stopped at any moment (Ctrl+C, a crash, a power cut) may so leave numbers
// unused, never used twice.
//
// Threading: ChipEnded is called by the units' threads at once; the rest by the thread that
// runs the rounds, between them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_environment.h"
#include "cli/json_records.h"
#include "cli/options.h"
#include "cli/serial_numbers.h"

class ProductionLedger {
  public:
    // out: writes a record line to stdout (with --json).
    ProductionLedger(const CliOptions& options, CliConsole& console,
                     std::function<void(const std::string&)> out);
    ~ProductionLedger();
    ProductionLedger(const ProductionLedger&) = delete;
    ProductionLedger& operator=(const ProductionLedger&) = delete;

    // Reads the serial file and opens the log, before any unit is touched: the exit status.
    int Open();
    // The numbers of the next round's count chips (none without stamping), reserved in the
    // serial file. An exit status other than 0 (a number that does not fit, a file that cannot
    // be written) ends the run; the message is shown.
    int BeginRound(std::size_t count, std::vector<std::optional<std::uint64_t>>& numbers);
    // A chip ended: its record goes to the log, flushed, and with --json to stdout; a failed
    // chip gives its number back.
    void ChipEnded(const ChipRecord& record, bool good);
    // After the round's chips ended: settles the serial file. The exit status.
    int EndRound();

    // "3 rounds: 11 of 12 chips good, serial numbers 1000 to 1010" and a line naming the ports
    // whose chips failed; "" when no chip was worked on.
    std::string Summary() const;

  private:
    int Fail(int code, const std::string& text);

    const CliOptions& o_;
    CliConsole& console_;
    std::function<void(const std::string&)> out_;
    std::optional<SerialPool> pool_;
    std::FILE* log_ = nullptr;
    unsigned rounds_ = 0;
    std::mutex mutex_;  // guards what follows, and the log
    std::uint64_t chips_ = 0;
    std::uint64_t good_ = 0;
    std::vector<std::pair<std::string, unsigned>> failures_;  // port and round
};
