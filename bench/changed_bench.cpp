// Programming only what differs, through a pseudo-terminal to the vorland-sim program paced at
// 921600 baud, as the whole-chip transfers of tandrel_bench are:
//   - a 512 KiB image re-programmed and verified (full verify) on a chip that holds it but for
//     one KiB, beside a whole program and verify of an erased chip, in the same run:
//     ratio = changed / whole (target at most 0.6), program_ratio = the programming steps
//     alone (target at most 0.15);
//   - the programming step for regions of 1 to 256 blocks (Arg): how the region size trades
//     the frames' turnarounds against what they skip, for one KiB changed and for sixteen
//     single bytes scattered over the chip.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "device/changed_write.h"
#include "device/kvtandrel.h"
#include "platform/serial_port_posix.h"
#include "sim/sim_program_posix.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

constexpr std::int32_t kChipSize = 0x80000;
constexpr std::uint32_t kChangedAt = 0x12400;  // the KiB that differs

using Bytes = std::vector<std::uint8_t>;

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A paced simulator, a KVTandrel on it at 921600 baud, and a scratch file to load chips from.
struct PacedUnit {
    PacedUnit() : sim(VORLAND_SIM_EXE, {"--pace"}), device(ports, SystemClock()) {
        for (const char* name : {"COM2", "COM3", "COM4", "COM5"}) ports.Map(name, "/nonexistent");
        ports.Map("COM1", sim.linkPath());
        FirmwareVersion version{};
        ready = sim.ready() && device.DetectHardware(nullptr, 0, &version) != 0 &&
                device.SetLinkSpeed(kSpeedCode921600) == kTandrelDone;
    }
    ~PacedUnit() {
        device.ClosePort();
        std::remove(chipFile.c_str());
    }
    // The chip holds bytes.
    bool Load(const Bytes& bytes) {
        std::FILE* file = std::fopen(chipFile.c_str(), "wb");
        if (file == nullptr) return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        return std::fclose(file) == 0 && written &&
               sim.Command("load " + chipFile) == "ok " + std::to_string(bytes.size());
    }

    SimProgram sim;
    PosixSerialPorts ports;
    KVTandrel device;
    bool ready = false;
    std::string chipFile = "/tmp/vorland-changed-bench-" + std::to_string(getpid()) + ".bin";
};

Bytes ChangedChip(const Bytes& image) {
    Bytes chip = image;
    std::fill_n(chip.begin() + kChangedAt, 0x400, 0xFF);
    return chip;
}

void BM_ChangedKiBAgainstWholeChipPaced921600(benchmark::State& state) {
    PacedUnit unit;
    if (!unit.ready) {
        state.SkipWithError("no unit at 921600 baud");
        return;
    }
    const Bytes image = PatternBytes(kChipSize, 3);
    const Bytes changed = ChangedChip(image);
    KVTandrel& device = unit.device;
    Bytes readBack(kChipSize);
    const VerifyRequest verify{1, 0, image.data(), kChipSize, 0, nullptr, readBack.data()};
    double wholeProgram = 0, wholeVerify = 0, changedProgram = 0, changedVerify = 0;
    for (auto _ : state) {
        if (unit.sim.Command("fill 0xFF") != "ok") break;
        auto start = std::chrono::steady_clock::now();
        bool ok = device.WriteChip(1, image.data(), 0, kChipSize, nullptr) == kTandrelDone;
        wholeProgram += MsSince(start);
        start = std::chrono::steady_clock::now();
        ok = ok && device.VerifyChip(verify) == 1;
        wholeVerify += MsSince(start);

        ok = ok && unit.Load(changed);
        ChangedReport report;
        start = std::chrono::steady_clock::now();
        ok = ok && device.ProgramChanged({1, 0, image.data(), kChipSize, nullptr}, &report) == 0;
        changedProgram += MsSince(start);
        start = std::chrono::steady_clock::now();
        ok = ok && VerifyChanged(device, verify, nullptr) == 1;
        changedVerify += MsSince(start);
        if (!ok || report.programmed != 0x400) {
            state.SkipWithError(("failed: " + FailureLogLine(device.LastFailure())).c_str());
            break;
        }
    }
    const double n = state.iterations() == 0 ? 1.0 : static_cast<double>(state.iterations());
    state.counters["whole_program_ms"] = wholeProgram / n;
    state.counters["whole_verify_ms"] = wholeVerify / n;
    state.counters["changed_program_ms"] = changedProgram / n;
    state.counters["changed_verify_ms"] = changedVerify / n;
    state.counters["ratio"] = (changedProgram + changedVerify) / (wholeProgram + wholeVerify);
    state.counters["program_ratio"] = changedProgram / wholeProgram;
}

void BM_ChangedProgramByRegionSizePaced921600(benchmark::State& state) {
    PacedUnit unit;
    if (!unit.ready) {
        state.SkipWithError("no unit at 921600 baud");
        return;
    }
    const Bytes image = PatternBytes(kChipSize, 3);
    Bytes scattered = image;
    for (std::uint32_t i = 0; i < 16; ++i) scattered[i * 0x7FF1 + 0x123] = 0xFF;
    ChangedRequest request{1, 0, image.data(), kChipSize, nullptr};
    request.regionBlocks = static_cast<std::int32_t>(state.range(0));
    const Bytes changed = ChangedChip(image);
    // The milliseconds ProgramChanged takes on a chip that holds `chip`; -1 when it failed.
    const auto time = [&](const Bytes& chip) {
        if (!unit.Load(chip)) return -1.0;
        const auto start = std::chrono::steady_clock::now();
        if (unit.device.ProgramChanged(request, nullptr) != kTandrelDone) return -1.0;
        return MsSince(start);
    };
    double kib = 0, bytes = 0;
    for (auto _ : state) {
        const double kibMs = time(changed);
        const double bytesMs = time(scattered);
        if (kibMs < 0 || bytesMs < 0) {
            state.SkipWithError("failed");
            return;
        }
        kib += kibMs;
        bytes += bytesMs;
    }
    const double n = state.iterations() == 0 ? 1.0 : static_cast<double>(state.iterations());
    state.counters["kib_ms"] = kib / n;
    state.counters["scattered_ms"] = bytes / n;
}

BENCHMARK(BM_ChangedKiBAgainstWholeChipPaced921600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_ChangedProgramByRegionSizePaced921600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->Arg(256);

}  // namespace

BENCHMARK_MAIN();
