#include "cli/production_ledger.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/exit_codes.h"
#include "formats/text_format.h"
#include "platform/files.h"

namespace {

constexpr long kMaxSerialFileBytes = 1l << 20;

// "COM3 (round 2), COM4 (rounds 1, 3)": each port once, in the order of the ports given.
std::string PortRounds(const std::vector<std::pair<std::string, unsigned>>& list,
                       const std::vector<std::string>& order) {
    std::vector<std::pair<std::string, std::vector<unsigned>>> ports;
    for (const auto& entry : list) {
        auto it = std::find_if(ports.begin(), ports.end(),
                               [&](const auto& p) { return p.first == entry.first; });
        if (it == ports.end()) it = ports.insert(ports.end(), {entry.first, {}});
        it->second.push_back(entry.second);
    }
    const auto place = [&](const std::string& port) {
        return std::find(order.begin(), order.end(), port) - order.begin();
    };
    std::stable_sort(ports.begin(), ports.end(),
                     [&](const auto& a, const auto& b) { return place(a.first) < place(b.first); });
    std::string text;
    for (const auto& [port, rounds] : ports) {
        text += (text.empty() ? "" : ", ") + port + (rounds.size() == 1 ? " (round " : " (rounds ");
        for (std::size_t i = 0; i < rounds.size(); ++i) {
            text += (i == 0 ? "" : ", ") + std::to_string(rounds[i]);
        }
        text += ")";
    }
    return text;
}

// What identifies a chip's records: its run, round and port.
std::string ChipKey(const std::string& run, unsigned round, const std::string& port) {
    return run + "/" + std::to_string(round) + "/" + port;
}

std::string InterruptedText(const ChipRecord& r) {
    std::string text = Printf("round %u, %s", r.round.value_or(0), r.port.c_str());
    if (r.serial) {
        const auto n = static_cast<unsigned long long>(*r.serial);
        return text + Printf(", serial %llu: interrupted; %llu is not reused", n, n);
    }
    return text + ": interrupted";
}

// What the log holds of the chips of some runs, by their key: the started record and the
// result. runs: the runs of interest besides those with started records.
struct LoggedChip {
    std::optional<ChipRecord> start;
    std::optional<ChipRecord> end;
};
std::map<std::string, LoggedChip> LoggedChips(const std::string& log, std::set<std::string> runs) {
    std::map<std::string, LoggedChip> chips;
    const auto lines = [&](auto visit) {
        for (std::size_t at = 0; at < log.size();) {
            const std::size_t end = std::min(log.find('\n', at), log.size());
            visit(log.substr(at, end - at));
            at = end + 1;
        }
    };
    lines([&](const std::string& line) {
        ChipRecord r;
        if (line.find("\"result\":\"started\"") == std::string::npos ||
            !ParseRecordJson(line, r) || r.result != "started" || r.run.empty()) {
            return;
        }
        chips[ChipKey(r.run, r.round.value_or(0), r.port)].start = r;
        runs.insert(r.run);
    });
    if (runs.empty()) return chips;
    lines([&](const std::string& line) {
        const std::size_t at = line.find("\"run\":\"");
        ChipRecord r;
        if (at == std::string::npos || runs.count(line.substr(at + 7, 16)) == 0 ||
            !ParseRecordJson(line, r) || r.result == "started") {
            return;
        }
        chips[ChipKey(r.run, r.round.value_or(0), r.port)].end = r;
    });
    return chips;
}

}  // namespace

ProductionLedger::ProductionLedger(const CliOptions& options, CliEnvironment& env,
                                   std::uint32_t imageCrc32,
                                   std::function<void(const std::string&)> out)
    : o_(options), env_(env), imageCrc32_(imageCrc32), out_(std::move(out)), runId_(NewRunId()) {}

ProductionLedger::~ProductionLedger() = default;

int ProductionLedger::Fail(int code, const std::string& text) {
    return CommandFailed(env_.console, code, text);
}

void ProductionLedger::Stamp(ChipRecord& r) const {
    r.run = runId_;
    const std::string version = VersionText();
    r.version = version.substr(version.rfind(' ') + 1);
    if (o_.command != CliCommand::kProgram) return;
    r.image = o_.file;
    r.imageCrc32 = imageCrc32_;
    r.verify = !o_.verify ? "none" : o_.quick ? "quick" : "full";
}

int ProductionLedger::Open() {
    std::vector<SerialInFlight> interrupted;
    if (int code = OpenSerialFile(interrupted); code != kExitSuccess) return code;
    if (!o_.logFile.empty()) {
        log_ = std::make_unique<SharedFile>(env_, o_.waitWhenBusy);
        std::string error;
        if (!log_->Open(o_.logFile, runId_, error)) {
            if (serialLock_) serialLock_->Unlock();
            return Fail(kExitBadInput, error);
        }
    }
    const int code = ReportInterrupted(interrupted);
    if (serialLock_) serialLock_->Unlock();
    return code;
}

// Opens the serial file and its lock, and finds the numbers that runs which are gone took for
// chips that never ended. Leaves the lock taken when it succeeds.
int ProductionLedger::OpenSerialFile(std::vector<SerialInFlight>& interrupted) {
    if (!o_.serialAt) return kExitSuccess;
    if (o_.serialFile.empty()) {
        memory_ = SerialState{o_.serialStart, {}, {}};
        return FirstRoundFits(*memory_);
    }
    const std::string& path = o_.serialFile;
    if (FileHasReadOnlyAttribute(path.c_str())) {
        return Fail(kExitBadInput,
                    path + ": the file is read-only, so the next serial number cannot be kept in "
                           "it");
    }
    serialLock_ = std::make_unique<SharedFile>(env_, o_.waitWhenBusy);
    std::string error;
    if (!serialLock_->Open(path + ".lock", runId_, error)) return Fail(kExitBadInput, error);
    if (int code = serialLock_->Lock(path); code != kExitSuccess) return code;
    SerialState state;
    bool existed = false;
    const int code = ReadState(state, &existed);
    if (code != kExitSuccess) {
        serialLock_->Unlock();
        return code;
    }
    if (existed && o_.serialStartGiven) {
        env_.console.Err(Printf("note: %s holds the next number, %llu: --serial-start is not "
                                "used\n",
                                path.c_str(), static_cast<unsigned long long>(state.next)));
    }
    for (const SerialInFlight& s : state.started) {
        if (s.run != runId_ && !serialLock_->RunAlive(s.run)) interrupted.push_back(s);
    }
    const int fits = FirstRoundFits(state);
    if (fits != kExitSuccess) serialLock_->Unlock();
    return fits;
}

// A first round whose numbers would not fit ends the run before any unit is touched.
int ProductionLedger::FirstRoundFits(SerialState state) {
    std::vector<std::uint64_t> numbers;
    std::uint64_t unfit = 0;
    const std::uint64_t max = SerialFormatMax(o_.serialFormat);
    if (state.Take(std::max<std::size_t>(o_.ports.size(), 1), o_.serialStep, max, numbers,
                   &unfit)) {
        return kExitSuccess;
    }
    return Fail(kExitBadInput, UnfitText(unfit, 1));
}

std::string ProductionLedger::UnfitText(std::uint64_t unfit, unsigned round) const {
    return Printf("serial number %llu of round %u does not fit %s (at most %llu)",
                  static_cast<unsigned long long>(unfit), round,
                  SerialFormatName(o_.serialFormat).c_str(),
                  static_cast<unsigned long long>(SerialFormatMax(o_.serialFormat)));
}

int ProductionLedger::ReadState(SerialState& state, bool* existed) {
    if (memory_) {
        state = *memory_;
        return kExitSuccess;
    }
    const std::string& path = o_.serialFile;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno != ENOENT) return Fail(kExitBadInput, path + ": " + std::strerror(errno));
        // Starting again from --serial-start would give every number twice.
        if (serialKnown_) {
            return Fail(kExitBadInput, path + ": the file is gone; the run stops, so that no "
                                              "number is given twice");
        }
        state = SerialState{o_.serialStart, {}, {}};
        return kExitSuccess;
    }
    serialKnown_ = true;
    if (existed != nullptr) *existed = true;
    std::string text(kMaxSerialFileBytes + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    std::string error;
    if (text.size() > static_cast<std::size_t>(kMaxSerialFileBytes)) {
        error = "the file is larger than 1 MiB";
    } else if (ParseSerialState(text, state, error)) {
        return kExitSuccess;
    }
    return Fail(kExitBadInput, path + ": " + error);
}

int ProductionLedger::WriteState(const SerialState& state) {
    if (memory_) {
        *memory_ = state;
        return kExitSuccess;
    }
    const std::string text = SerialStateText(state);
    const std::string& path = o_.serialFile;
    errno = 0;
    if (WriteFileReplacing(path.c_str(), text.data(), static_cast<std::uint32_t>(text.size()),
                           nullptr)) {
        serialKnown_ = true;
        return kExitSuccess;
    }
    if (FileHasReadOnlyAttribute(path.c_str())) {
        return Fail(kExitBadInput, path + ": the file is read-only, so the next serial number "
                                          "cannot be kept in it");
    }
    return Fail(kExitBadInput,
                path + ": " + (errno != 0 ? std::strerror(errno) : "the file could not be written"));
}

int ProductionLedger::WriteLog(const std::string& lines) {
    if (int code = log_->Lock(o_.logFile); code != kExitSuccess) {
        logError_ = o_.logFile + ": busy";
        return code;
    }
    std::string error;
    const bool written = log_->Append(lines, error);
    log_->Unlock();
    if (written) return kExitSuccess;
    logError_ = o_.logFile + ": " + error;
    return kExitBadInput;
}

// Reports the chips that earlier runs started and never ended (from the log and from the
// serial file, each once), records them as interrupted, and forgets their numbers' entries:
// the numbers stay taken. Under the serial file's lock.
int ProductionLedger::ReportInterrupted(std::vector<SerialInFlight> fromSerial) {
    std::map<std::string, LoggedChip> logged;
    if (log_) {
        std::string text;
        if (!log_->ReadAll(text)) return Fail(kExitBadInput, o_.logFile + ": cannot be read");
        std::set<std::string> runs;
        for (const SerialInFlight& s : fromSerial) runs.insert(s.run);
        logged = LoggedChips(text, runs);
    }
    std::map<std::string, ChipRecord> chips;  // interrupted
    for (const auto& [key, chip] : logged) {
        if (chip.start && !chip.end && chip.start->run != runId_ && !log_->RunAlive(chip.start->run)) {
            chips[key] = *chip.start;
        }
    }
    // A number of the serial file whose chip has its result in the log (its run ended before
    // it settled the file) goes the way that result says.
    std::set<std::uint64_t> back;
    for (const SerialInFlight& s : fromSerial) {
        const std::string key = ChipKey(s.run, s.round, s.port);
        const auto it = logged.find(key);
        if (it != logged.end() && it->second.end) {
            if (it->second.end->returned.value_or(false)) back.insert(s.number);
            continue;
        }
        if (chips.count(key) != 0) continue;
        ChipRecord r;
        r.run = s.run;
        r.round = s.round;
        r.port = s.port;
        r.serial = s.number;
        chips[key] = r;
    }
    std::string lines;
    for (auto& [key, r] : chips) {
        r.time = UtcTimestamp();
        r.result = "interrupted";
        r.message = InterruptedText(r);
        env_.console.Err(r.message + "\n");
        lines += RecordJson(r) + "\n";
    }
    if (log_ && !lines.empty() && WriteLog(lines) != kExitSuccess) {
        return Fail(kExitBadInput, logError_);
    }
    if (fromSerial.empty()) return kExitSuccess;
    SerialState state;
    if (int code = ReadState(state); code != kExitSuccess) return code;
    for (const SerialInFlight& s : fromSerial) {
        back.count(s.number) != 0 ? state.GiveBack(s.number, o_.serialStep) : state.Ended(s.number);
    }
    return WriteState(state);
}

int ProductionLedger::TakeNumbers(unsigned round, const std::vector<std::string>& ports,
                                  std::vector<std::uint64_t>& numbers) {
    numbers.clear();
    if (!o_.serialAt || ports.empty()) return kExitSuccess;
    if (serialLock_) {
        if (int code = serialLock_->Lock(o_.serialFile); code != kExitSuccess) return code;
    }
    SerialState state;
    int code = ReadState(state);
    std::uint64_t unfit = 0;
    const std::uint64_t max = SerialFormatMax(o_.serialFormat);
    if (code == kExitSuccess && !state.Take(ports.size(), o_.serialStep, max, numbers, &unfit)) {
        code = Fail(kExitBadInput, UnfitText(unfit, round));
    }
    if (code == kExitSuccess) {
        for (std::size_t i = 0; i < ports.size(); ++i) {
            state.started.push_back({numbers[i], runId_, round, ports[i]});
        }
        code = WriteState(state);
    }
    if (serialLock_) serialLock_->Unlock();
    if (code != kExitSuccess) {
        numbers.clear();
        return code;
    }
    std::lock_guard lock(mutex_);
    for (std::uint64_t n : numbers) {
        round_[n] = Taken{};
        givenBack_.erase(n);
    }
    return kExitSuccess;
}

void ProductionLedger::GiveBackRound() {
    if (round_.empty()) return;
    if (serialLock_ && serialLock_->Lock(o_.serialFile) != kExitSuccess) return;
    SerialState state;
    if (ReadState(state) == kExitSuccess) {
        for (const auto& [n, taken] : round_) {
            state.GiveBack(n, o_.serialStep);
            givenBack_.insert(n);
        }
        static_cast<void>(WriteState(state));
    }
    if (serialLock_) serialLock_->Unlock();
    round_.clear();
}

int ProductionLedger::ChipsStarting(const std::vector<ChipRecord>& records) {
    if (!log_ || records.empty()) return kExitSuccess;
    std::string lines;
    for (const ChipRecord& r : records) lines += RecordJson(r) + "\n";
    const unsigned round = records.front().round.value_or(0);
    if (WriteLog(lines) == kExitSuccess) return kExitSuccess;
    GiveBackRound();
    return Fail(kExitBadInput, Printf("%s: no chip of round %u was programmed", logError_.c_str(),
                                      round));
}

void ProductionLedger::ChipEnded(const ChipRecord& record, bool good) {
    const std::string line = RecordJson(record) + "\n";
    std::lock_guard lock(mutex_);
    ++chips_;
    if (good) {
        ++good_;
        if (record.serial) goodNumbers_.insert(*record.serial);
    } else {
        failures_.emplace_back(record.port, record.round.value_or(rounds_ + 1));
    }
    const bool recorded = !log_ || WriteLog(line) == kExitSuccess;
    if (record.serial && round_.count(*record.serial) != 0) {
        Taken& taken = round_[*record.serial];
        taken.back = !good && record.returned.value_or(false);
        taken.recorded = recorded;
    }
    if (o_.json) out_(line);
}

void ProductionLedger::UnitEnded(const ChipRecord& record) {
    const std::string line = RecordJson(record) + "\n";
    std::lock_guard lock(mutex_);
    // A unit that answered but failed before its chip was worked on counts with the failures.
    (record.result == "no programmer" ? noUnit_ : failures_)
        .emplace_back(record.port, record.round.value_or(rounds_ + 1));
    if (log_) static_cast<void>(WriteLog(line));
    if (o_.json) out_(line);
}

void ProductionLedger::SocketSkipped() {
    std::lock_guard lock(mutex_);
    ++skipped_;
}

int ProductionLedger::EndRound() {
    ++rounds_;
    if (o_.serialAt && !round_.empty()) {
        if (serialLock_) {
            if (int code = serialLock_->Lock(o_.serialFile); code != kExitSuccess) return code;
        }
        SerialState state;
        int code = ReadState(state);
        if (code == kExitSuccess) {
            for (const auto& [n, taken] : round_) {
                // A chip whose result is not in the log stays started: the next run reports it.
                if (!taken.recorded || !taken.back) continue;
                if (*taken.back) {
                    state.GiveBack(n, o_.serialStep);
                    givenBack_.insert(n);
                } else {
                    state.Ended(n);
                }
            }
            code = WriteState(state);
        }
        if (serialLock_) serialLock_->Unlock();
        round_.clear();
        if (code != kExitSuccess) return code;
    }
    if (!logError_.empty()) {
        return Fail(kExitBadInput, logError_ + ": the record of a chip could not be written");
    }
    return kExitSuccess;
}

std::string ProductionLedger::Summary() const {
    if (chips_ == 0 && noUnit_.empty() && skipped_ == 0) return "";
    std::string text =
        Printf("%u round%s: %llu of %llu chips good", rounds_, rounds_ == 1 ? "" : "s",
               static_cast<unsigned long long>(good_), static_cast<unsigned long long>(chips_));
    if (!goodNumbers_.empty()) {
        text += ", serial numbers " + SerialNumberList(goodNumbers_, o_.serialStep);
    }
    text += "\n";
    if (!failures_.empty()) text += "chips failed on " + PortRounds(failures_, o_.ports) + "\n";
    if (!noUnit_.empty()) text += "no programmer on " + PortRounds(noUnit_, o_.ports) + "\n";
    if (skipped_ > 0) {
        text += Printf("%llu socket%s still held a chip already programmed: skipped\n",
                       static_cast<unsigned long long>(skipped_), skipped_ == 1 ? "" : "s");
    }
    if (!givenBack_.empty() && !o_.serialFile.empty()) {
        text += "serial numbers given back, the first the next run takes: " +
                SerialNumberList(givenBack_, o_.serialStep) + "\n";
    }
    return text;
}
