// vorland-cli reading a whole AM29F040 (512 KiB) into a file from the vorland-sim program on a
// pseudo-terminal, the program started afresh each time as a build script would.
//   - paced at 921600 baud: against the wire time of the 2048 read frames and replies, which is
//     the limit (wire_ms); read_ms is the transfer as the tool reports it, total_ms the whole
//     run with start-up, detection, the speed changes and writing the file;
//   - unpaced: what the tool, the kernel and the simulator cost around the transfer.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/sim_program_posix.h"

namespace {

constexpr double kBlocks = 0x80000 / 256;
// 10 bits per byte; a read: 7-byte frame out, 256 data bytes and a checksum back.
constexpr double kWireMs = kBlocks * (7 + 257) * 10.0 / 921600.0 * 1000.0;

// Runs vorland-cli once; false when it failed. *readMs: from its "Read 512 KiB in X s" line.
bool ReadChip(const std::string& port, const std::string& dir, double* readMs) {
    const std::string out = dir + "/chip.bin";
    const std::string err = dir + "/stderr.txt";
    std::vector<std::string> args = {VORLAND_CLI_EXE, "read", out, "-c", "AM29F040", "-p", port};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const bool started =
        posix_spawn(&pid, VORLAND_CLI_EXE, &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (!started || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return false;
    }
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
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
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

BENCHMARK(BM_CliReadChipPaced921600)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CliReadChipUnpaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
