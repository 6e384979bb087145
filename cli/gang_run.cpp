#include "cli/gang_run.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/gang_board.h"
#include "device/port_scan.h"
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

// The table's word for how a unit's run ended.
std::string ResultWord(const CliOptions& o, int code) {
    switch (code) {
        case kExitSuccess:
            switch (o.command) {
                case CliCommand::kRead: return "read";
                case CliCommand::kProgram: return o.verify ? "verified" : "programmed";
                case CliCommand::kVerify: return "matches";
                case CliCommand::kErase: return "erased";
                case CliCommand::kBlank: return "blank";
                default: return "found";
            }
        case kExitMismatch: return o.command == CliCommand::kBlank ? "not blank" : "differs";
        case kExitBadInput: return "file not written";
        case kExitNoUnit: return "no programmer";
        case kExitInterrupted: return "interrupted";
        default: return "failed";
    }
}

// How the units ended, and what they left.
struct Ending {
    UnitOutcome outcome;
    std::uint32_t ms = 0;
};

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
    env.console.Out(list);
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
    const bool reading = o.command == CliCommand::kRead;
    std::vector<OutputFile> files;
    for (const std::string& port : ports)
        files.emplace_back(reading ? PortFileName(o.file, port) : "");
    if (reading) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (files[j].path() == files[i].path()) {
                    return CommandFailed(env.console, kExitBadInput,
                                         ports[j] + " and " + ports[i] +
                                             " would both be read into " + files[i].path());
                }
            }
        }
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::string error;
            if (!files[i].Probe(error)) return CommandFailed(env.console, kExitBadInput, error);
        }
    }

    GangBoard board(env.console, ports, !o.quiet && env.console.ErrMovesCursor(),
                    !o.all || o.verbose);
    // Every seat exists before any thread starts: a thread reads the vector while another
    // would still be growing it.
    std::vector<std::unique_ptr<GangSeat>> seats;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        seats.push_back(std::make_unique<GangSeat>(board, i));
    }
    std::vector<Ending> endings(ports.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        threads.emplace_back([&, i] {
            GangSeat& seat = *seats[i];
            const std::uint32_t start = env.clock.TickCount();
            UnitRun run(o, env, ports[i], job, &files[i], seat, &seat);
            const int code = run.Run();
            endings[i].outcome = run.outcome();
            endings[i].ms = env.clock.TickCount() - start;
            seat.Begin(ResultWord(o, code), 0, nullptr, env.clock.TickCount());
        });
    }
    for (std::thread& thread : threads) thread.join();
    board.Close();
    if (o.all) return ListUnits(o, env, ports, endings);

    std::vector<GangSummaryRow> rows;
    std::vector<int> codes;
    std::string failed;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const UnitOutcome& unit = endings[i].outcome;
        const std::string result = ResultWord(o, unit.code);
        GangSummaryRow row{ports[i], unit.unit, result, endings[i].ms, "", ""};
        if (unit.checked) {
            row.range = Printf("%06X-%06X", job.plan.chipStart,
                               job.plan.chipStart + job.plan.length - 1);
            row.checksums = FormatSumAndCrc32(unit.checksums.sum16, unit.checksums.crc32);
        }
        rows.push_back(row);
        codes.push_back(unit.code);
        if (unit.code != kExitSuccess) {
            failed += (failed.empty() ? "" : ", ") + ports[i] + " (" + result + ")";
        }
    }
    std::string text = GangSummaryTable(rows);
    const auto failures = static_cast<unsigned>(
        std::count_if(codes.begin(), codes.end(), [](int c) { return c != kExitSuccess; }));
    text += failures == 0 ? (ports.size() == 1 ? std::string("the unit succeeded\n")
                                               : Printf("all %u units succeeded\n",
                                                        unsigned(ports.size())))
                          : Printf("%u of %u units failed: ", failures, unsigned(ports.size())) +
                                failed + "\n";
    if (reading) text += CompareReads(endings);
    env.console.Out(text);
    return GangExitStatus(codes, InterruptRequested());
}
