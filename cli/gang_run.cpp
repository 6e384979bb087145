#include "cli/gang_run.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/gang_board.h"
#include "cli/production_ledger.h"
#include "device/port_scan.h"
#include "formats/checksums.h"
#include "formats/text_format.h"

namespace {

// The ports detect --all tries when none is named: those of DetectHardware's scan.
std::vector<std::string> ScanPortNames(SerialPorts& ports) {
    std::vector<std::string> names;
    static_cast<void>(ScanPorts(ports, nullptr, [&](const char* name) {
        names.emplace_back(name);
        return false;
    }));
    return names;
}

// How bad a unit's exit status is among several; higher is worse.
int Severity(int code) {
    switch (code) {
        case kExitSuccess: return 0;
        case kExitMismatch: return 1;
        case kExitNoUnit: return 2;
        case kExitLinkFailure: return 3;
        case kExitBadInput: return 4;  // a file that could not be written
        default: return 5;             // interrupted
    }
}

// How the units ended, and what they left.
struct Ending {
    UnitOutcome outcome;
    std::uint32_t ms = 0;
    std::string result;  // instead of the outcome's word: "skipped"
};

// Runs work(i) for each of indexes at once, a thread each, and waits for all.
template <typename Work>
void RunEach(const std::vector<std::size_t>& indexes, Work work) {
    std::vector<std::thread> threads;
    for (std::size_t i : indexes) threads.emplace_back([&work, i] { work(i); });
    for (std::thread& thread : threads) thread.join();
}

// detect --all: every unit found, one a line; 3 when no programmer is among them.
int ListUnits(const CliOptions& o, CliEnvironment& env, const std::vector<std::string>& ports,
              const std::vector<Ending>& endings) {
    std::vector<int> codes;
    std::string list;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const UnitOutcome& unit = endings[i].outcome;
        if (unit.hardwareFlags == 0) continue;
        list += unit.unit + " on " + ports[i];
        if ((unit.hardwareFlags & kHardwareSupportedMask) == 0) {
            list += " (an emulator: not supported)";
        } else {
            codes.push_back(unit.code);
            if (unit.code != kExitSuccess) list += " (" + ResultWord(o, unit.code) + ")";
        }
        list += "\n";
    }
    if (!o.json) env.console.Out(list);  // else each unit's record said it
    if (InterruptRequested()) return kExitInterrupted;
    if (codes.empty()) {
        return CommandFailed(env.console, kExitNoUnit,
                             o.ports.empty() ? "no programmer answered on any COM port"
                                             : Printf("no programmer answered on any of the %u "
                                                      "ports",
                                                      static_cast<unsigned>(ports.size())));
    }
    return GangExitStatus(codes, false);
}

// "the 4 files read are identical", or how many different contents they hold.
std::string CompareReads(const std::vector<Ending>& endings) {
    std::vector<const std::vector<std::uint8_t>*> contents;
    std::size_t reads = 0;
    for (const Ending& e : endings) {
        if (e.outcome.code != kExitSuccess) continue;
        ++reads;
        bool known = false;
        for (const auto* c : contents) known = known || *c == e.outcome.read;
        if (!known) contents.push_back(&e.outcome.read);
    }
    if (reads < 2) return "";
    if (contents.size() == 1) return Printf("the %u files read are identical\n", unsigned(reads));
    return Printf("the %u files read are not identical: they hold %u different contents\n",
                  unsigned(reads), unsigned(contents.size()));
}

// The table of one round, the ports that failed and, for read, whether the files agree.
std::string RoundTable(const CliOptions& o, const CliJob& job,
                       const std::vector<std::string>& ports, const std::vector<Ending>& endings) {
    std::vector<GangSummaryRow> rows;
    std::string failed;
    unsigned failures = 0;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const UnitOutcome& unit = endings[i].outcome;
        const std::string result =
            endings[i].result.empty() ? ResultWord(o, unit.code) : endings[i].result;
        GangSummaryRow row{ports[i], unit.unit, result, endings[i].ms, "", ""};
        if (unit.checked) {
            row.range =
                Printf("%06X-%06X", job.plan.chipStart, job.plan.chipStart + job.plan.length - 1);
            row.checksums = FormatSumAndCrc32(unit.checksums.sum16, unit.checksums.crc32);
        }
        rows.push_back(row);
        if (unit.code != kExitSuccess) {
            ++failures;
            failed += (failed.empty() ? "" : ", ") + ports[i] + " (" + result + ")";
        }
    }
    std::string text = GangSummaryTable(rows);
    if (failures > 0) {
        text += Printf("%u of %u units failed: ", failures, unsigned(ports.size())) + failed + "\n";
    } else {
        text += ports.size() == 1 ? std::string("the unit succeeded\n")
                                  : Printf("all %u units succeeded\n", unsigned(ports.size()));
    }
    if (o.command == CliCommand::kRead) text += CompareReads(endings);
    return text;
}

}  // namespace

int GangExitStatus(const std::vector<int>& codes, bool interrupted) {
    if (interrupted) return kExitInterrupted;
    int worst = kExitSuccess;
    for (int code : codes) {
        if (Severity(code) > Severity(worst)) worst = code;
    }
    return worst;
}

int RunGang(const CliOptions& o, CliEnvironment& env, const CliJob& job) {
    const std::vector<std::string> ports = o.ports.empty() ? ScanPortNames(env.ports) : o.ports;
    const std::size_t count = ports.size();
    const bool reading = o.command == CliCommand::kRead;
    std::vector<OutputFile> files;
    for (const std::string& port : ports)
        files.emplace_back(reading ? PortFileName(o.file, port) : "");
    if (reading) {
        for (std::size_t i = 0; i < count; ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (files[j].path() == files[i].path()) {
                    return CommandFailed(env.console, kExitBadInput,
                                         ports[j] + " and " + ports[i] +
                                             " would both be read into " + files[i].path());
                }
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            std::string error;
            if (!files[i].Probe(error)) return CommandFailed(env.console, kExitBadInput, error);
        }
    }

    GangBoard board(env.console, ports, !o.quiet && env.console.ErrMovesCursor(),
                    !o.all || o.verbose);
    ChecksumSet image(kChecksumCrc32);
    image.Update(job.bytes.data(), job.bytes.size());
    ProductionLedger ledger(o, env, image.Finish().crc32,
                            [&](const std::string& line) { board.Out(line); });
    if (int code = ledger.Open(); code != kExitSuccess) return code;
    // Every seat and unit exists before any thread starts: a thread reads the vectors while
    // another would still be growing them.
    std::vector<std::unique_ptr<GangSeat>> seats;
    std::vector<std::unique_ptr<UnitRun>> units;
    for (std::size_t i = 0; i < count; ++i) {
        seats.push_back(std::make_unique<GangSeat>(board, i));
        units.push_back(
            std::make_unique<UnitRun>(o, env, ports[i], job, &files[i], *seats[i], seats[i].get()));
    }
    std::vector<std::size_t> all(count);
    for (std::size_t i = 0; i < count; ++i) all[i] = i;

    const bool production = o.repeat || o.serialAt;
    std::vector<int> codes;  // of every unit in every round
    std::vector<std::vector<std::uint8_t>> images(count);
    int stop = kExitSuccess;  // why the rounds ended early
    for (unsigned round = 1;; ++round) {
        std::vector<Ending> endings(count);
        std::vector<std::uint32_t> starts(count, env.clock.TickCount());
        std::vector<std::optional<std::uint64_t>> numbers(count);
        // The units that work this round; for program, those found with a chip to program.
        std::vector<std::size_t> working = all;
        if (o.command == CliCommand::kProgram) {
            RunEach(all, [&](std::size_t i) {
                const int code = units[i]->Prepare(round);
                seats[i]->Begin(code == kExitSuccess && units[i]->skipText().empty()
                                    ? "Starting"
                                    : code == kExitSuccess ? "skipped" : ResultWord(o, code),
                                0, nullptr, env.clock.TickCount());
            });
            board.Close();
            working.clear();
            std::vector<std::string> workingPorts;
            for (std::size_t i = 0; i < count; ++i) {
                UnitRun& unit = *units[i];
                if (unit.outcome().code != kExitSuccess) {
                    // No chip was worked on: the unit's record, no number.
                    ChipRecord record = unit.Record();
                    ledger.Stamp(record);
                    record.result = ResultWord(o, unit.outcome().code);
                    record.sums.reset();
                    ledger.UnitEnded(record);
                    endings[i] = {unit.outcome(), env.clock.TickCount() - starts[i], ""};
                    codes.push_back(unit.outcome().code);
                } else if (!unit.skipText().empty()) {
                    env.console.Err(unit.skipText() + "\n");
                    ledger.SocketSkipped();
                    endings[i] = {unit.outcome(), env.clock.TickCount() - starts[i], "skipped"};
                } else {
                    working.push_back(i);
                    workingPorts.push_back(ports[i]);
                }
            }
            std::vector<std::uint64_t> taken;
            stop = ledger.TakeNumbers(round, workingPorts, taken);
            std::vector<ChipRecord> started;
            for (std::size_t k = 0; k < taken.size(); ++k) {
                const std::size_t i = working[k];
                numbers[i] = taken[k];
                images[i] = job.bytes;
                WriteSerialBytes(o.serialFormat, taken[k], images[i].data() + *job.serialOffset);
            }
            for (std::size_t i : working) {
                started.push_back(
                    units[i]->StartRecord(numbers[i] ? images[i] : job.bytes, numbers[i], round));
                ledger.Stamp(started.back());
            }
            if (stop == kExitSuccess) stop = ledger.ChipsStarting(started);
            if (stop != kExitSuccess) working.clear();
        }
        RunEach(working, [&](std::size_t i) {
            UnitRun& unit = *units[i];
            int code = unit.RunRound(numbers[i] ? images[i] : job.bytes, numbers[i], round);
            if (!o.repeat) code = unit.Finish();
            endings[i] = {unit.outcome(), env.clock.TickCount() - starts[i], ""};
            // detect: an object per unit found.
            if (o.command != CliCommand::kDetect || unit.outcome().hardwareFlags != 0) {
                ChipRecord record = unit.Record();
                ledger.Stamp(record);
                ledger.ChipEnded(record, code == kExitSuccess);
            }
            seats[i]->Begin(ResultWord(o, code), 0, nullptr, env.clock.TickCount());
        });
        board.Close();
        for (std::size_t i : working) codes.push_back(endings[i].outcome.code);
        if (stop != kExitSuccess) break;
        stop = ledger.EndRound();
        if (o.all) return ListUnits(o, env, ports, endings);
        if (!o.json) {
            env.console.Out((o.repeat ? Printf("Round %u\n", round) : std::string()) +
                            RoundTable(o, job, ports, endings));
        }
        if (stop != kExitSuccess || !o.repeat || InterruptRequested()) break;
        // A round starts only on a line typed after its prompt: Enter pressed while the last
        // round ran would start this one on the same chips.
        env.console.DiscardTypedAhead();
        env.console.Err("Insert the next chips and press Enter; q and Enter to stop\n");
        std::string answer;
        if (env.console.ReadLine(answer) != CliConsole::LineRead::kLine || answer == "q" ||
            answer == "Q") {
            break;
        }
    }
    // The units still found: back to 115200 baud and closed.
    for (auto& unit : units) {
        const int last = unit->outcome().code;
        if (int code = unit->Finish(); code != last) codes.push_back(code);
    }
    if (stop != kExitSuccess) codes.push_back(stop);
    if (production) {
        const std::string summary = ledger.Summary();
        o.json ? env.console.Err(summary) : env.console.Out(summary);
    }
    return GangExitStatus(codes, InterruptRequested());
}
