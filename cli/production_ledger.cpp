#include "cli/production_ledger.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/exit_codes.h"
#include "formats/text_format.h"

ProductionLedger::ProductionLedger(const CliOptions& options, CliConsole& console,
                                   std::function<void(const std::string&)> out)
    : o_(options), console_(console), out_(std::move(out)) {}

ProductionLedger::~ProductionLedger() {
    if (log_ != nullptr) std::fclose(log_);
}

int ProductionLedger::Fail(int code, const std::string& text) {
    return CommandFailed(console_, code, text);
}

int ProductionLedger::Open() {
    if (o_.serialAt) {
        std::uint64_t first = o_.serialStart;
        bool exists = false;
        std::string error;
        if (!o_.serialFile.empty() && !ReadSerialFile(o_.serialFile, first, &exists, error)) {
            return Fail(kExitBadInput, error);
        }
        pool_.emplace(first, o_.serialStep);
    }
    if (!o_.logFile.empty()) {
        log_ = std::fopen(o_.logFile.c_str(), "ab");
        if (log_ == nullptr) return Fail(kExitBadInput, o_.logFile + ": " + std::strerror(errno));
    }
    return kExitSuccess;
}

int ProductionLedger::BeginRound(std::size_t count,
                                 std::vector<std::optional<std::uint64_t>>& numbers) {
    numbers.assign(count, std::nullopt);
    if (!pool_) {
        ++rounds_;
        return kExitSuccess;
    }
    std::vector<std::uint64_t> taken;
    const std::uint64_t max = SerialFormatMax(o_.serialFormat);
    if (!pool_->Take(count, max, taken)) {
        return Fail(kExitBadInput,
                    Printf("the serial numbers of round %u from %llu on do not fit %s (at most "
                           "%llu)",
                           rounds_ + 1, static_cast<unsigned long long>(pool_->Next()),
                           SerialFormatName(o_.serialFormat).c_str(),
                           static_cast<unsigned long long>(max)));
    }
    for (std::size_t i = 0; i < count; ++i) numbers[i] = taken[i];
    ++rounds_;
    return EndRound();  // the reservation
}

void ProductionLedger::ChipEnded(const ChipRecord& record, bool good) {
    const std::string line = RecordJson(record) + "\n";
    std::lock_guard lock(mutex_);
    ++chips_;
    if (good) {
        ++good_;
    } else {
        failures_.emplace_back(record.port, record.round.value_or(rounds_));
    }
    if (pool_ && record.serial) pool_->Settle(*record.serial, good);
    if (log_ != nullptr) {
        std::fwrite(line.data(), 1, line.size(), log_);
        std::fflush(log_);
    }
    if (o_.json) out_(line);
}

int ProductionLedger::EndRound() {
    if (log_ != nullptr && std::ferror(log_) != 0) {
        return Fail(kExitBadInput, o_.logFile + ": the record of a chip could not be written");
    }
    std::string error;
    if (pool_ && !o_.serialFile.empty() && !WriteSerialFile(o_.serialFile, pool_->Next(), error)) {
        return Fail(kExitBadInput, error);
    }
    return kExitSuccess;
}

std::string ProductionLedger::Summary() const {
    if (chips_ == 0) return "";
    std::string text =
        Printf("%u round%s: %llu of %llu chips good", rounds_, rounds_ == 1 ? "" : "s",
               static_cast<unsigned long long>(good_), static_cast<unsigned long long>(chips_));
    if (pool_ && pool_->goodCount() > 0) {
        text += Printf(", serial numbers %llu to %llu",
                       static_cast<unsigned long long>(pool_->lowestGood()),
                       static_cast<unsigned long long>(pool_->highestGood()));
    }
    text += "\n";
    if (failures_.empty()) return text;
    // Each port once, with the rounds its chips failed in.
    std::vector<std::pair<std::string, std::string>> ports;
    for (const auto& failure : failures_) {
        const std::string& port = failure.first;
        const unsigned round = failure.second;
        auto it = std::find_if(ports.begin(), ports.end(),
                               [&](const auto& p) { return p.first == port; });
        if (it == ports.end()) {
            ports.emplace_back(port, Printf("round %u", round));
        } else {
            it->second =
                (it->second.starts_with("rounds") ? it->second + ", "
                                                  : "rounds " + it->second.substr(6) + ", ") +
                Printf("%u", round);
        }
    }
    const auto place = [&](const std::string& port) {
        return std::find(o_.ports.begin(), o_.ports.end(), port) - o_.ports.begin();
    };
    std::stable_sort(ports.begin(), ports.end(),
                     [&](const auto& a, const auto& b) { return place(a.first) < place(b.first); });
    text += "chips failed on";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        text += (i == 0 ? " " : ", ") + ports[i].first + " (" + ports[i].second + ")";
    }
    return text + "\n";
}
