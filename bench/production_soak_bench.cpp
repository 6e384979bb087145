// The long soak of production runs (tests/native/support/production_soak_posix.h): at least 200
// rounds on four units with faults, kills, two runs sharing the books and full disks, then the
// books checked from the chips, the serial file and the log. Its counts are the figures;
// broken is the number of invariants that failed (0). The seed is printed and VORLAND_SOAK_SEED
// repeats a run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "tests/native/support/production_soak_posix.h"

namespace {

void BM_ProductionSoak200Rounds(benchmark::State& state) {
    const char* given = std::getenv("VORLAND_SOAK_SEED");
    const unsigned seed = given != nullptr
                              ? static_cast<unsigned>(std::strtoul(given, nullptr, 10))
                              : std::random_device{}();
    std::fprintf(stderr, "production soak seed %u\n", seed);
    for (auto _ : state) {
        ProductionSoak soak(VORLAND_CLI_EXE, VORLAND_SIM_EXE, seed);
        if (!soak.ready()) {
            state.SkipWithError("vorland-sim did not start");
            return;
        }
        soak.Run(200);
        const std::string broken = soak.Check();
        if (!broken.empty()) std::fprintf(stderr, "seed %u broke:\n%s", seed, broken.c_str());
        const ProductionSoak::Counts& c = soak.counts();
        state.counters["seed"] = seed;
        state.counters["broken"] = static_cast<double>(
            std::count(broken.begin(), broken.end(), '\n'));
        state.counters["rounds"] = c.rounds;
        state.counters["runs"] = c.runs;
        state.counters["paired_runs"] = c.pairs;
        state.counters["killed_in_round"] = c.killedInRound;
        state.counters["killed_at_prompt"] = c.killedAtPrompt;
        state.counters["disk_full"] = c.diskFull;
        state.counters["typed_ahead"] = c.typedAhead;
        state.counters["unplugged"] = c.unplugged;
        state.counters["corrupted"] = c.corrupted;
        state.counters["absent"] = c.absent;
        state.counters["chips"] = c.chips;
        state.counters["stamped"] = c.stampedChips;
        state.counters["verified"] = c.goodRecords;
        state.counters["failed"] = c.failedRecords;
        state.counters["interrupted"] = c.interruptedRecords;
        state.counters["skipped"] = c.skipped;
        state.counters["given_back"] = static_cast<double>(c.returned);
    }
}

BENCHMARK(BM_ProductionSoak200Rounds)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
