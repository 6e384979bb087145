// Reading and programming a whole AM29F040 (512 KiB, 2048 blocks of 256 bytes):
//   - in process, on virtual time: the host's and the protocol's own cost per block;
//   - through a real pseudo-terminal to the vorland-sim program at 921600 baud, with the
//     simulator's pacing off (host, kernel and simulator overhead per block) and on (elapsed
//     time against the wire time of the frames and replies, which is the limit).
// Counters: us_per_block, and for the paced runs wire_ms and overhead_pct.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "device/kvtandrel.h"
#include "sim/simulated_port.h"
#include "sim/sim_program_posix.h"

namespace {

constexpr std::int32_t kChipSize = 0x80000;
constexpr std::int32_t kBlocks = kChipSize / 256;
// 10 bits per byte; read: 7-byte frame + 256 data + 1 checksum; write: 263-byte frame + 1 reply.
constexpr double kWireMs = kBlocks * 264.0 * 10.0 / 921600.0 * 1000.0;

std::vector<std::uint8_t> Image() {
    std::vector<std::uint8_t> image(kChipSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    return image;
}

// Runs the transfer once per iteration; returns the mean milliseconds of one.
template <typename AfterEach>
double TimeTransfers(benchmark::State& state, KVTandrel& device, bool write, AfterEach afterEach) {
    std::vector<std::uint8_t> buffer = Image();
    double totalMs = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::int32_t result = write ? device.WriteChip(1, buffer.data(), 0, kChipSize, nullptr)
                                    : device.ReadChip(1, buffer.data(), 0, kChipSize, nullptr);
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (result != 0) state.SkipWithError("transfer failed");
        afterEach();
    }
    return state.iterations() == 0 ? 0 : totalMs / static_cast<double>(state.iterations());
}

void InProcess(benchmark::State& state, bool write) {
    VirtualClock clock;
    SimulatedPorts ports(clock);
    ports.SetWireTime(false);
    ProgrammerUnit unit;
    ports.AddPort("COM1", &unit);
    KVTandrel device(ports, clock);
    FirmwareVersion version{};
    if (device.DetectHardware(nullptr, 0, &version) == 0) {
        state.SkipWithError("no unit");
        return;
    }
    // The record of every call would grow without bound.
    const double ms = TimeTransfers(state, device, write, [&] { ports.ClearEvents(); });
    state.counters["us_per_block"] = ms * 1000.0 / kBlocks;
}

void ThroughTerminal(benchmark::State& state, bool write, bool pace) {
    SimProgram sim(VORLAND_SIM_EXE, pace ? std::vector<std::string>{"--pace"} : std::vector<std::string>{});
    if (!sim.ready()) {
        state.SkipWithError("vorland-sim did not start");
        return;
    }
    PosixSerialPorts ports;
    for (const char* name : {"COM2", "COM3", "COM4", "COM5"}) ports.Map(name, "/nonexistent");
    ports.Map("COM1", sim.linkPath());
    KVTandrel device(ports, SystemClock());
    FirmwareVersion version{};
    if (device.DetectHardware(nullptr, 0, &version) == 0 || device.SetLinkSpeed(0) != 0) {
        state.SkipWithError("no unit at 921600 baud");
        return;
    }
    const double ms = TimeTransfers(state, device, write, [] {});
    device.ClosePort();
    state.counters["us_per_block"] = ms * 1000.0 / kBlocks;
    if (pace) {
        state.counters["wire_ms"] = kWireMs;
        state.counters["overhead_pct"] = (ms - kWireMs) / kWireMs * 100.0;
    }
}

void BM_ReadChipInProcess(benchmark::State& state) { InProcess(state, false); }
void BM_WriteChipInProcess(benchmark::State& state) { InProcess(state, true); }
void BM_ReadChipPty(benchmark::State& state) { ThroughTerminal(state, false, false); }
void BM_WriteChipPty(benchmark::State& state) { ThroughTerminal(state, true, false); }
void BM_ReadChipPty921600Paced(benchmark::State& state) { ThroughTerminal(state, false, true); }
void BM_WriteChipPty921600Paced(benchmark::State& state) { ThroughTerminal(state, true, true); }

BENCHMARK(BM_ReadChipInProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteChipInProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadChipPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_WriteChipPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReadChipPty921600Paced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_WriteChipPty921600Paced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
