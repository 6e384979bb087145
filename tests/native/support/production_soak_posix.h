// A production line's worst day, seeded and reproducible: vorland-cli runs round after round
// with --repeat on four vorland-sim units, sharing one serial file and one log, while the
// operator changes chips or forgets to, presses Enter ahead, and the units are unplugged
// mid-block, write a block wrong or are not there; vorland-cli is killed (SIGKILL) inside and
// between rounds and started again, two of them run at once on two units each, and the log's
// disk fills up (a file size limit on the process). Every chip taken out of a socket is kept.
// Each chip is erased first, as a line that reuses failed chips does.
// Afterwards the books are checked from the chips, the serial file and the log alone.
// Header-only and POSIX: the test (short) and the benchmark (long) share it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/checksums.h"
#include "sim/sim_program_posix.h"
#include "tests/native/support/scratch_files.h"

class ProductionSoak {
  public:
    static constexpr std::uint32_t kImageBytes = 0x4000;   // 64 blocks
    static constexpr std::uint32_t kSerialAt = 0x2000;     // halfway: faults fall on both sides
    static constexpr std::uint64_t kFirstNumber = 1000;
    static constexpr int kUnits = 4;

    struct Counts {
        int rounds = 0;     // prompts answered, and the rounds cut short by a kill
        int runs = 0;       // vorland-cli processes started
        int pairs = 0;      // of them, started as two at once
        int killedInRound = 0;
        int killedAtPrompt = 0;
        int diskFull = 0;   // runs started with their file size limited
        int typedAhead = 0; // Enter pressed twice at once
        int unplugged = 0, corrupted = 0, absent = 0;  // faults set on a unit for a round
        int chips = 0;          // taken out of sockets, and those left in them at the end
        int stampedChips = 0;   // holding the whole stamped image
        int goodRecords = 0, failedRecords = 0, interruptedRecords = 0, noUnitRecords = 0;
        int skipped = 0;        // sockets skipped as already done
        std::uint64_t next = 0; // the serial file's next number at the end
        std::size_t returned = 0;
    };

    ProductionSoak(std::string cli, std::string sim, unsigned seed)
        : cli_(std::move(cli)), random_(seed) {
        format_ = random_() % 2 == 0 ? "dec:8" : "le32";
        image_ = PatternBytes(kImageBytes, seed | 1);
        WriteWholeFile(dir_.File("img.bin"), image_);
        for (int i = 0; i < kUnits; ++i) {
            sims_.push_back(std::make_unique<SimProgram>(
                sim, std::vector<std::string>{}, dir_.File("ttyV" + std::to_string(i))));
            // A unit's turnaround stretches a round to tens of milliseconds: room to kill.
            if (sims_.back()->ready()) sims_.back()->Command("timing 150 0");
        }
    }

    bool ready() const {
        for (const auto& sim : sims_) {
            if (!sim->ready()) return false;
        }
        return true;
    }
    const Counts& counts() const { return counts_; }
    const std::string& format() const { return format_; }

    // Runs sessions until rounds have been worked, then one last clean run.
    void Run(int rounds) {
        while (counts_.rounds < rounds) Session(false);
        Session(true);
        for (int i = 0; i < kUnits; ++i) TakeChipOut(i);
        counts_.skipped = 0;
        for (int run = 0; run < counts_.runs; ++run) {
            counts_.skipped += Occurrences(ReadText(Err(run)), "insert a new chip");
        }
    }

    // The broken invariants, one a line; "" when the books hold.
    std::string Check() {
        std::ostringstream broken;
        std::vector<nlohmann::json> records;
        std::istringstream log(ReadText(dir_.File("prod.jsonl")));
        int lineNumber = 0;
        for (std::string line; std::getline(log, line);) {
            ++lineNumber;
            auto record = nlohmann::json::parse(line, nullptr, false);
            if (!record.is_object() || !record.contains("result")) {
                broken << "log line " << lineNumber << " does not parse: " << line << "\n";
                continue;
            }
            records.push_back(record);
        }
        // Each started chip has exactly one result; results name their chip's number.
        std::map<std::string, std::pair<int, int>> chipRecords;  // starts, results
        std::map<std::uint64_t, std::vector<nlohmann::json>> ends;  // by number
        for (const auto& r : records) {
            const std::string key = r.value("run", "") + "/" + std::to_string(r.value("round", 0)) +
                                    "/" + r.value("port", "");
            const std::string result = r["result"];
            if (result == "started") {
                ++chipRecords[key].first;
                continue;
            }
            if (result == "no programmer" || (result == "failed" && !r.contains("serial"))) {
                ++counts_.noUnitRecords;
                continue;
            }
            ++chipRecords[key].second;
            // Killed before its started record was written, the chip is known from the serial
            // file alone.
            if (result == "interrupted") chipRecords[key].first = std::max(chipRecords[key].first, 1);
            if (result == "verified") ++counts_.goodRecords;
            if (result == "failed") ++counts_.failedRecords;
            if (result == "interrupted") ++counts_.interruptedRecords;
            if (r.contains("serial")) ends[r["serial"].get<std::uint64_t>()].push_back(r);
        }
        for (const auto& [key, count] : chipRecords) {
            if (count.first != 1 || count.second != 1) {
                broken << "chip " << key << ": " << count.first << " started records, "
                       << count.second << " results\n";
            }
        }
        // Every chip that holds a stamped image: its number on no other chip, and one result
        // that may name it (the number not given back) and holds its checksum.
        std::map<std::uint64_t, int> onChips;
        for (const auto& chip : chips_) {
            std::uint64_t number = 0;
            if (!Stamped(chip, number)) continue;
            ++counts_.stampedChips;
            if (++onChips[number] == 2) {
                broken << "serial " << number << " is on two chips; its records:\n";
                for (const auto& r : records) {
                    if (r.value("serial", std::uint64_t{0}) == number) broken << r.dump() << "\n";
                }
            }
            int matching = 0;
            for (const auto& r : ends[number]) {
                if (r.value("returned", false)) continue;
                if (r.value("crc32", "") != Crc32Text(chip)) {
                    broken << "serial " << number << ": a record's crc32 is not its chip's\n";
                }
                ++matching;
            }
            if (matching != 1) {
                broken << "serial " << number << " is on a chip with " << matching
                       << " results that may name it\n";
            }
        }
        // Every number below the file's next: on a chip, given back, or ended where a chip may
        // carry it; a number given back is on no chip.
        std::ifstream file(dir_.File("serial.txt"));
        std::set<std::uint64_t> returned;
        file >> counts_.next;
        for (std::string word; file >> word;) {
            if (word == "returned") {
                std::uint64_t n = 0;
                file >> n;
                returned.insert(n);
            } else if (word == "started") {
                broken << "serial.txt still holds a started number\n";
                std::getline(file, word);
            }
        }
        counts_.returned = returned.size();
        for (std::uint64_t n = kFirstNumber; n < counts_.next; ++n) {
            const bool back = returned.count(n) != 0;
            if (back && onChips.count(n) != 0) broken << "serial " << n << " given back, on a chip\n";
            bool kept = false;
            for (const auto& r : ends[n]) kept = kept || !r.value("returned", false);
            if (!back && onChips.count(n) == 0 && !kept) {
                broken << "serial " << n << " is lost: on no chip, not given back, not recorded\n";
            }
        }
        return broken.str();
    }

  private:
    struct Process {
        pid_t pid = -1;
        int input = -1;  // the write end of its stdin
        int run = 0;     // its number among the runs: its stderr file
        std::vector<int> units;
        int prompts = 0;    // answered
        int roundsLeft = 0;
        bool ended = false;
    };

    std::string Err(int run) const { return dir_.File("err" + std::to_string(run) + ".txt"); }
    static std::string ReadText(const std::string& path) {
        const auto bytes = ReadWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    }
    static int Occurrences(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    int Pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

    std::string Port(int unit) const { return dir_.File("ttyV" + std::to_string(unit)); }

    bool Stamped(const std::vector<std::uint8_t>& chip, std::uint64_t& number) const {
        const std::uint8_t* at = chip.data() + kSerialAt;
        number = 0;
        if (format_ == "le32") {
            for (int i = 3; i >= 0; --i) number = number << 8 | at[i];
        } else {
            for (int i = 0; i < 8; ++i) {
                if (at[i] < '0' || at[i] > '9') return false;
                number = number * 10 + (at[i] - '0');
            }
        }
        std::vector<std::uint8_t> stamped(chip.begin(), chip.begin() + kImageBytes);
        std::copy(image_.begin(), image_.begin() + kSerialAt, stamped.begin());
        std::copy(image_.begin() + kSerialAt + (format_ == "le32" ? 4 : 8), image_.end(),
                  stamped.begin() + kSerialAt + (format_ == "le32" ? 4 : 8));
        return std::equal(stamped.begin(), stamped.end(), chip.begin());
    }
    std::string Crc32Text(const std::vector<std::uint8_t>& chip) const {
        char text[9];
        std::snprintf(text, sizeof text, "%08X", Crc32Update(0, chip.data(), kImageBytes));
        return text;
    }

    // The operator takes the chip out (it is kept) and puts a new one in.
    void TakeChipOut(int unit) {
        const std::string path = dir_.File("chip.bin");
        if (sims_[unit]->Command("dump " + path).rfind("ok", 0) != 0) return;
        auto bytes = ReadWholeFile(path);
        bytes.resize(kImageBytes);
        chips_.push_back(std::move(bytes));
        ++counts_.chips;
        sims_[unit]->Command("insert");
    }

    // Before a round: new chips or not, and a fault or none on each unit.
    void SetUpRound(const std::vector<int>& units, bool clean) {
        for (int unit : units) {
            if (clean || Chance(0.8)) TakeChipOut(unit);
            sims_[unit]->Command("fault clear");
            if (clean) continue;
            const int block = Pick(128);  // 64 written, then 64 read by the verify
            if (Chance(0.06)) {
                sims_[unit]->Command("fault stop " + std::to_string(block) + " " +
                                     std::to_string(Pick(2)));
                ++counts_.unplugged;
            } else if (Chance(0.06)) {
                // Not the blocks around the number's: a flipped bit there makes another number,
                // and the chip, which its verify rejects, would pass as stamped with it.
                const int corrupt = block % 58 < 28 ? block % 58 : block % 58 + 8;
                sims_[unit]->Command("fault corrupt " + std::to_string(corrupt));
                ++counts_.corrupted;
            } else if (Chance(0.03)) {
                sims_[unit]->Command("fault silent");
                ++counts_.absent;
            }
        }
    }

    Process Start(const std::vector<int>& units, bool clean) {
        Process p;
        p.run = counts_.runs++;
        p.units = units;
        std::string ports;
        for (int unit : units) ports += (ports.empty() ? "" : ",") + Port(unit);
        std::vector<std::string> args = {cli_,          "program",       dir_.File("img.bin"),
                                         "-c",          "AM29F040",      "--ports",
                                         ports,         "--serial-at",   "2000",
                                         "--serial-format", format_,     "--serial-start",
                                         "1000",        "--serial-file", dir_.File("serial.txt"),
                                         "--log",       dir_.File("prod.jsonl"),
                                         "--repeat",    "-q",
                                         // A chip kept after it failed is programmed again:
                                         // flash only clears bits, so without an erase two
                                         // numbers could combine into a third.
                                         "--erase"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return p;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, Err(p.run).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&p.pid, cli_.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            p.pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[0]);
        p.input = pipeEnds[1];
        const auto logBytes = ReadWholeFile(dir_.File("prod.jsonl")).size();
        if (!clean && p.pid > 0 && logBytes > 4096 && Chance(0.08)) {
            // The disk fills up somewhere in this run's first records.
            const rlimit limit{logBytes + static_cast<rlim_t>(Pick(3000)),
                               logBytes + static_cast<rlim_t>(Pick(3000))};
            rlimit hard = limit;
            hard.rlim_max = hard.rlim_cur;
            prlimit(p.pid, RLIMIT_FSIZE, &hard, nullptr);
            ++counts_.diskFull;
        }
        return p;
    }

    bool Gone(Process& p) {
        if (p.ended) return true;
        int status = 0;
        if (waitpid(p.pid, &status, WNOHANG) == p.pid) p.ended = true;
        return p.ended;
    }
    void Kill(Process& p) {
        kill(p.pid, SIGKILL);
        waitpid(p.pid, nullptr, 0);
        p.ended = true;
    }
    // Waits for the process's next prompt; false when it ended instead.
    bool AwaitPrompt(Process& p) {
        const std::string prompt = "Insert the next chips and press Enter";
        for (int waited = 0; waited < 60000; waited += 2) {
            if (Occurrences(ReadText(Err(p.run)), prompt) > p.prompts) return true;
            if (Gone(p)) return Occurrences(ReadText(Err(p.run)), prompt) > p.prompts;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        Kill(p);
        return false;
    }
    void Type(Process& p, const std::string& text) {
        [[maybe_unused]] ssize_t n = write(p.input, text.data(), text.size());
    }

    // One or two vorland-cli processes, a few rounds each, with whatever befalls them.
    void Session(bool clean) {
        std::vector<Process> processes;
        if (!clean && Chance(0.3)) {
            SetUpRound({0, 1, 2, 3}, false);
            processes.push_back(Start({0, 1}, false));
            processes.push_back(Start({2, 3}, false));
            counts_.pairs += 2;
        } else {
            SetUpRound({0, 1, 2, 3}, clean);
            processes.push_back(Start({0, 1, 2, 3}, clean));
        }
        for (Process& p : processes) p.roundsLeft = clean ? 1 : 1 + Pick(5);
        for (bool busy = true; busy;) {
            busy = false;
            for (Process& p : processes) {
                if (p.ended) continue;
                if (!AwaitPrompt(p)) {
                    ++counts_.rounds;  // its last round ended the run (a full disk)
                    continue;
                }
                ++p.prompts;
                ++counts_.rounds;
                if (--p.roundsLeft <= 0) {
                    Type(p, "q\n");
                    close(p.input);
                    waitpid(p.pid, nullptr, 0);
                    p.ended = true;
                    continue;
                }
                busy = true;
                if (Chance(0.06)) {
                    Kill(p);
                    ++counts_.killedAtPrompt;
                    continue;
                }
                SetUpRound(p.units, false);
                if (Chance(0.07)) {
                    Type(p, "\n\n");  // Enter typed ahead: the next round has the same chips
                    ++counts_.typedAhead;
                    ++p.prompts;
                    ++counts_.rounds;
                } else {
                    Type(p, "\n");
                }
                if (Chance(0.07)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(Pick(120)));
                    Kill(p);
                    ++counts_.killedInRound;
                }
            }
        }
        for (Process& p : processes) {
            if (p.input >= 0) close(p.input);
            if (!p.ended) Kill(p);
        }
    }

    std::string cli_;
    std::mt19937 random_;
    ScratchDir dir_;  // before the simulators, which remove their links first
    std::vector<std::unique_ptr<SimProgram>> sims_;
    std::string format_;
    std::vector<std::uint8_t> image_;
    std::vector<std::vector<std::uint8_t>> chips_;
    Counts counts_;
};
