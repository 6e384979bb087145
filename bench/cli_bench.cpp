// vorland-cli against the vorland-sim program on pseudo-terminals, the program started afresh
// each time as a build script would.
//   - reading a whole AM29F040 (512 KiB) into a file, paced at 921600 baud: against the wire
//     time of the 2048 read frames and replies, which is the limit (wire_ms); read_ms is the
//     transfer as the tool reports it, total_ms the whole run with start-up, detection, the
//     speed changes and writing the file; unpaced: what the tool, the kernel and the simulator
//     cost around the transfer;
//   - programming and verifying a whole AM29F040 on four paced units at once against one unit
//     alone, side by side: ratio = four_ms / one_ms, which the wire's pacing alone would make
//     1.0. cli_cpu_pct and sim_cpu_pct are the processor time of the tool and of the four
//     simulators during the four-unit run, in percent of its wall time (the machine: 2 cores).
//     The same again as a production round: each chip stamped with its own number, the serial
//     file replaced before and after the round, a record per chip in the log;
//   - with --repeat on four paced units, the time from Enter at the prompt to the next round's
//     first frame at a unit.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_program_posix.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

constexpr double kBlocks = 0x80000 / 256;
// 10 bits per byte; a read: 7-byte frame out, 256 data bytes and a checksum back.
constexpr double kWireMs = kBlocks * (7 + 257) * 10.0 / 921600.0 * 1000.0;

// Runs vorland-cli with args, stderr to errPath; false unless it succeeded. *cpuMs (may be
// null): the processor time it took.
bool RunCli(std::vector<std::string> args, const std::string& errPath, double* cpuMs = nullptr) {
    args.insert(args.begin(), VORLAND_CLI_EXE);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    const bool started =
        posix_spawn(&pid, VORLAND_CLI_EXE, &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (!started || wait4(pid, &status, 0, &usage) != pid) return false;
    if (cpuMs != nullptr) {
        *cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The processor time a running process has taken so far, from /proc.
double ProcessCpuMs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), {});
    // Fields 14 and 15 (user and system ticks) follow the command name in parentheses.
    std::size_t at = stat.rfind(')');
    if (at == std::string::npos) return 0;
    for (int field = 2; field < 14 && at != std::string::npos; ++field) at = stat.find(' ', at + 1);
    if (at == std::string::npos) return 0;
    char* end = nullptr;
    const double user = std::strtod(stat.c_str() + at + 1, &end);
    const double system = std::strtod(end, nullptr);
    return (user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Runs vorland-cli read once; false when it failed. *readMs: from its "Read 512 KiB in X s"
// line.
bool ReadChip(const std::string& port, const std::string& dir, double* readMs) {
    const std::string err = dir + "/stderr.txt";
    if (!RunCli({"read", dir + "/chip.bin", "-c", "AM29F040", "-p", port}, err)) return false;
    std::ifstream in(err);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const std::size_t at = text.find("Read 512 KiB in ");
    if (at == std::string::npos) return false;
    *readMs = std::strtod(text.c_str() + at + 16, nullptr) *
              (text.compare(text.find(' ', at + 16) + 1, 2, "ms") == 0 ? 1.0 : 1000.0);
    return true;
}

void ReadWholeChip(benchmark::State& state, bool pace) {
    SimProgram sim(VORLAND_SIM_EXE,
                   pace ? std::vector<std::string>{"--pace"} : std::vector<std::string>{});
    char pattern[] = "/tmp/vorland-cli-bench-XXXXXX";
    if (!sim.ready() || mkdtemp(pattern) == nullptr) {
        state.SkipWithError("vorland-sim did not start");
        return;
    }
    const std::string dir = pattern;
    double totalMs = 0;
    double readMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        double ms = 0;
        if (!ReadChip(sim.linkPath(), dir, &ms)) {
            state.SkipWithError("vorland-cli read failed");
            break;
        }
        totalMs += MsSince(start);
        readMs += ms;
    }
    std::remove((dir + "/chip.bin").c_str());
    std::remove((dir + "/stderr.txt").c_str());
    rmdir(dir.c_str());
    const double n = state.iterations() == 0 ? 1.0 : static_cast<double>(state.iterations());
    state.counters["total_ms"] = totalMs / n;
    state.counters["read_ms"] = readMs / n;
    if (pace) {
        state.counters["wire_ms"] = kWireMs;
        state.counters["read_overhead_pct"] = (readMs / n - kWireMs) / kWireMs * 100.0;
    }
}

void BM_CliReadChipPaced921600(benchmark::State& state) {
    ReadWholeChip(state, true);
}
void BM_CliReadChipUnpaced(benchmark::State& state) {
    ReadWholeChip(state, false);
}

// Programs and verifies a whole AM29F040 on one unit, then on four at once; extra: more options
// for both (a production round's stamping and log), "{dir}" standing for the scratch folder.
// Four paced simulators linked as ttyV0..ttyV3 in a scratch folder, and an image of size bytes
// there (img.bin); everything goes again with the object.
struct FourPacedUnits {
    explicit FourPacedUnits(std::size_t size) {
        char pattern[] = "/tmp/vorland-cli-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        dir = pattern;
        for (int i = 0; i < 4; ++i) {
            const std::string port = dir + "/ttyV" + std::to_string(i);
            sims.push_back(std::make_unique<SimProgram>(VORLAND_SIM_EXE,
                                                        std::vector<std::string>{"--pace"}, port));
            ports += (i > 0 ? "," : "") + port;
        }
        const std::vector<std::uint8_t> bytes = PatternBytes(size, 7);
        std::ofstream(image(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~FourPacedUnits() {
        sims.clear();
        for (const char* name : {"/img.bin", "/stderr.txt", "/serial.txt", "/log.jsonl"}) {
            std::remove((dir + name).c_str());
        }
        if (!dir.empty()) rmdir(dir.c_str());
    }
    bool ready() const {
        bool all = !dir.empty();
        for (const auto& sim : sims) all = all && sim->ready();
        return all;
    }
    std::string image() const { return dir + "/img.bin"; }
    std::string err() const { return dir + "/stderr.txt"; }

    std::string dir;
    std::vector<std::unique_ptr<SimProgram>> sims;
    std::string ports;  // joined by commas
};

void ProgramFourUnits(benchmark::State& state, const std::vector<std::string>& extra) {
    FourPacedUnits units(0x80000);
    if (!units.ready()) {
        state.SkipWithError("vorland-sim did not start");
        return;
    }
    const std::string& dir = units.dir;
    const auto& sims = units.sims;
    const std::string& ports = units.ports;
    const std::string image = units.image();
    const std::string err = units.err();
    double oneMs = 0;
    double fourMs = 0;
    double cliCpuMs = 0;
    double simCpuMs = 0;
    for (auto _ : state) {
        bool ready = true;
        // New chips: the numbers differ from round to round, and programming cannot clear bits.
        for (const auto& sim : sims) ready = ready && sim->Command("fill 0xFF") == "ok";
        std::vector<std::string> args = {"program", image, "-c", "AM29F040", "-q"};
        for (std::string option : extra) {
            if (option.starts_with("{dir}")) option.replace(0, 5, dir);
            args.push_back(option);
        }
        std::vector<std::string> one = args;
        one.insert(one.end(), {"-p", dir + "/ttyV0"});
        auto start = std::chrono::steady_clock::now();
        if (!ready || !RunCli(one, err)) {
            state.SkipWithError("vorland-cli program on one unit failed");
            break;
        }
        oneMs += MsSince(start);

        double simBefore = 0;
        for (const auto& sim : sims) simBefore += ProcessCpuMs(sim->pid());
        start = std::chrono::steady_clock::now();
        double cpuMs = 0;
        for (const auto& sim : sims) ready = ready && sim->Command("fill 0xFF") == "ok";
        std::vector<std::string> four = args;
        four.insert(four.end(), {"--ports", ports});
        if (!ready || !RunCli(four, err, &cpuMs)) {
            state.SkipWithError("vorland-cli program on four units failed");
            break;
        }
        fourMs += MsSince(start);
        cliCpuMs += cpuMs;
        for (const auto& sim : sims) simCpuMs += ProcessCpuMs(sim->pid());
        simCpuMs -= simBefore;
    }
    const double n = state.iterations() == 0 ? 1.0 : static_cast<double>(state.iterations());
    state.counters["one_ms"] = oneMs / n;
    state.counters["four_ms"] = fourMs / n;
    state.counters["ratio"] = oneMs > 0 ? fourMs / oneMs : 0;
    state.counters["cli_cpu_pct"] = fourMs > 0 ? cliCpuMs / fourMs * 100.0 : 0;
    state.counters["sim_cpu_pct"] = fourMs > 0 ? simCpuMs / fourMs * 100.0 : 0;
}

void BM_CliProgramFourUnitsPaced921600(benchmark::State& state) {
    ProgramFourUnits(state, {});
}
// A production round: each chip stamped with its number, the serial file replaced before and
// after the round, a record per chip in the log.
void BM_CliProductionRoundFourUnitsPaced921600(benchmark::State& state) {
    ProgramFourUnits(state, {"--serial-at", "7FFF0", "--serial-format", "dec:8", "--serial-file",
                             "{dir}/serial.txt", "--log", "{dir}/log.jsonl"});
}

// A unit's count of frames received, from its status line.
long FramesOf(SimProgram& sim) {
    const std::string status = sim.Command("status");
    const std::size_t at = status.find(" frames=");
    return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 8, nullptr, 10);
}

// --repeat on four paced units: the time from Enter at the prompt to the first frame of the next
// round at a unit (first_block_ms: the earliest unit; all_units_ms: the last of the four).
void BM_CliRepeatEnterToFirstBlock(benchmark::State& state) {
    FourPacedUnits units(0x4000);
    if (!units.ready()) {
        state.SkipWithError("vorland-sim did not start");
        return;
    }
    const std::string& dir = units.dir;
    const auto& sims = units.sims;
    const std::string image = units.image();
    const std::string err = units.err();
    const std::string& ports = units.ports;
    std::vector<std::string> args = {VORLAND_CLI_EXE,
                                     "program",
                                     image,
                                     "-c",
                                     "AM29F040",
                                     "--ports",
                                     ports,
                                     "--serial-at",
                                     "3FF0",
                                     "--serial-file",
                                     dir + "/serial.txt",
                                     "--log",
                                     dir + "/log.jsonl",
                                     "--repeat"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int input[2];
    if (pipe(input) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const bool started =
        posix_spawn(&pid, VORLAND_CLI_EXE, &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    const auto prompts = [&] {
        std::ifstream in(err);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        std::size_t count = 0;
        for (std::size_t at = text.find("press Enter"); at != std::string::npos;
             at = text.find("press Enter", at + 1)) {
            ++count;
        }
        return count;
    };
    double firstMs = 0;
    double allMs = 0;
    std::size_t round = 0;
    for (auto _ : state) {
        ++round;
        const auto waitStart = std::chrono::steady_clock::now();
        while (started && prompts() < round && MsSince(waitStart) < 30000) usleep(1000);
        if (!started || prompts() < round) {
            state.SkipWithError("no prompt");
            break;
        }
        std::vector<long> before;
        for (const auto& sim : sims) {
            (void)sim->Command("fill 0xFF");
            before.push_back(FramesOf(*sim));
        }
        const auto enter = std::chrono::steady_clock::now();
        if (write(input[1], "\n", 1) != 1) break;
        std::vector<bool> seen(sims.size(), false);
        double first = -1;
        for (std::size_t done = 0; done < sims.size() && MsSince(enter) < 10000;) {
            for (std::size_t i = 0; i < sims.size(); ++i) {
                if (seen[i] || FramesOf(*sims[i]) == before[i]) continue;
                seen[i] = true;
                ++done;
                if (first < 0) first = MsSince(enter);
            }
        }
        firstMs += first;
        allMs += MsSince(enter);
    }
    if (write(input[1], "q\n", 2) != 2) {
    }
    close(input[1]);
    int status = 0;
    if (started) waitpid(pid, &status, 0);
    const double n = state.iterations() == 0 ? 1.0 : static_cast<double>(state.iterations());
    state.counters["first_block_ms"] = firstMs / n;
    state.counters["all_units_ms"] = allMs / n;
}

BENCHMARK(BM_CliReadChipPaced921600)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CliReadChipUnpaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CliProgramFourUnitsPaced921600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_CliProductionRoundFourUnitsPaced921600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_CliRepeatEnterToFirstBlock)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
