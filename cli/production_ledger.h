// The books of a production run (program round after round on several units): the serial
// numbers and the --serial-file that is their one counter, one JSON record per chip in the
// --log (and on stdout with --json), and the summary at the end. Portable.
//
// Several runs may share the serial file and the log, on one machine or from stations on one
// share. A round takes its numbers under the serial file's lock (a lock file beside it, which
// stays when the serial file is replaced): it reads the file again, writes the numbers it took
// as started and the next number, flushed, and lets the lock go before the first block is sent.
// Before a chip is programmed its "started" record is in the log, on the disk; when it ends,
// its result follows. So whatever stops a run (Ctrl+C, a crash, kill -9, a power cut), the next
// run with the same log or serial file finds every chip that started without a result, reports
// it as interrupted, records that, and never gives its number again: the chip may carry it.
// A number is given again only when its chip surely does not carry it.
//
// Threading: ChipEnded and UnitEnded are called by the units' threads at once; the rest by the
// thread that runs the rounds, between the units' work.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_environment.h"
#include "cli/json_records.h"
#include "cli/options.h"
#include "cli/serial_numbers.h"
#include "cli/shared_file.h"

class ProductionLedger {
  public:
    // imageCrc32: of the image before stamping. out: writes a record line to stdout (--json).
    ProductionLedger(const CliOptions& options, CliEnvironment& env, std::uint32_t imageCrc32,
                     std::function<void(const std::string&)> out);
    ~ProductionLedger();
    ProductionLedger(const ProductionLedger&) = delete;
    ProductionLedger& operator=(const ProductionLedger&) = delete;

    // Before any unit is touched: opens the serial file and the log and reports the chips that
    // earlier runs left interrupted. The exit status.
    int Open();
    // The fields every record of this run carries: run, version, image, image_crc32, verify.
    void Stamp(ChipRecord& record) const;

    // Takes the numbers of round's chips, one for each of ports (the units that will program,
    // in order), and keeps them in the serial file as started. An exit status other than 0 (a
    // number that does not fit, a file that cannot be written, a busy file) ends the run before
    // any chip is programmed; the message is shown.
    int TakeNumbers(unsigned round, const std::vector<std::string>& ports,
                    std::vector<std::uint64_t>& numbers);
    // The "started" records of the round's chips, written and on the disk before any of them
    // is programmed. Otherwise no chip is programmed: the round's numbers go back and the run
    // ends with the exit status returned.
    int ChipsStarting(const std::vector<ChipRecord>& records);
    // A chip ended: its record goes to the log and stdout; a failed chip whose record says
    // returned gives its number back.
    void ChipEnded(const ChipRecord& record, bool good);
    // A port where no chip was worked on (no programmer answered, or the unit failed before):
    // its unit's record.
    void UnitEnded(const ChipRecord& record);
    // A socket that still held a chip already stamped: no number, no record.
    void SocketSkipped();
    // After the round's chips ended: settles the serial file. The exit status.
    int EndRound();

    // "3 rounds: 11 of 12 chips good, serial numbers 1000, 1002 to 1011" and lines naming the
    // ports whose chips failed, the sockets skipped and the numbers given back; "" when no
    // chip or unit was worked on.
    std::string Summary() const;

  private:
    int Fail(int code, const std::string& text);
    int OpenSerialFile(std::vector<SerialInFlight>& interrupted);
    int FirstRoundFits(SerialState state);
    std::string UnfitText(std::uint64_t unfit, unsigned round) const;
    int ReadState(SerialState& state, bool* existed = nullptr);
    int WriteState(const SerialState& state);
    int ReportInterrupted(std::vector<SerialInFlight> fromSerial);
    int WriteLog(const std::string& lines);
    void GiveBackRound();

    const CliOptions& o_;
    CliEnvironment& env_;
    std::uint32_t imageCrc32_;
    std::function<void(const std::string&)> out_;
    std::string runId_;
    std::unique_ptr<SharedFile> serialLock_;  // the lock file beside --serial-file
    std::unique_ptr<SharedFile> log_;
    std::optional<SerialState> memory_;  // stamping without --serial-file: the state in memory
    bool serialKnown_ = false;           // the serial file was there (read or written)

    std::mutex mutex_;  // guards what follows, and the log
    unsigned rounds_ = 0;
    std::uint64_t chips_ = 0;
    std::uint64_t good_ = 0;
    std::uint64_t skipped_ = 0;
    std::set<std::uint64_t> goodNumbers_;
    std::set<std::uint64_t> givenBack_;  // by this run, not taken again by it
    std::vector<std::pair<std::string, unsigned>> failures_;  // port and round
    std::vector<std::pair<std::string, unsigned>> noUnit_;    // port and round
    // The round's numbers: how each chip ended (absent: not yet), and whether its record was
    // written.
    struct Taken {
        std::optional<bool> back;  // the number goes back
        bool recorded = false;
    };
    std::map<std::uint64_t, Taken> round_;
    std::string logError_;  // why a record could not be written; ends the run
};
