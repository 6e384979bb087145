// Reading and programming a whole AM29F040 (512 KiB, 2048 blocks) through a Win32 COM port under
// Wine, against the simulator at 921600 baud: with its pacing off (host, Wine and simulator
// overhead per block) and on (elapsed time against the wire time of frames and replies).
//
//   wine tandrel_bench.exe        (VORLAND_SIM_EXE may name an optimised vorland-sim)
#include <windows.h>

#include "bench/win/bench_clock.h"

#include <cstdio>
#include <vector>

#include "device/kvtandrel.h"
#include "tests/win/support/sim_unit.h"

namespace {

constexpr std::int32_t kChipSize = 0x80000;
constexpr std::int32_t kBlocks = kChipSize / 256;
// 10 bits per byte; read: 7-byte frame + 256 data + 1 checksum; write: 263-byte frame + 1 reply.
constexpr double kWireMs = kBlocks * 264.0 * 10.0 / 921600.0 * 1000.0;

bool Run(bool pace, int rounds) {
    SimUnit sim;
    SimUnit::Options options;
    options.pace = pace;
    if (!sim.Start(options)) {
        std::printf("simulator: %s\n", sim.error().c_str());
        return false;
    }
    KVTandrel device;
    FirmwareVersion version{};
    if (device.DetectHardware(nullptr, 0, &version) == 0 || device.SetLinkSpeed(0) != 0) {
        std::printf("no unit at 921600 baud\n");
        return false;
    }
    std::vector<std::uint8_t> image(kChipSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    for (bool write : {false, true}) {
        double totalMs = 0;
        for (int round = 0; round < rounds; ++round) {
            double start = NowMs();
            std::int32_t result = write ? device.WriteChip(1, image.data(), 0, kChipSize, nullptr)
                                        : device.ReadChip(1, image.data(), 0, kChipSize, nullptr);
            totalMs += NowMs() - start;
            if (result != 0) {
                std::printf("transfer failed: %d\n", result);
                return false;
            }
        }
        const double ms = totalMs / rounds;
        std::printf("%-5s 512 KiB, pacing %-3s: %8.1f ms, %7.1f us per block", write ? "write" : "read",
                    pace ? "on" : "off", ms, ms * 1000.0 / kBlocks);
        if (pace) std::printf(", wire %.1f ms, overhead %.2f %%", kWireMs, (ms - kWireMs) / kWireMs * 100.0);
        std::printf("\n");
    }
    device.ClosePort();
    return true;
}

}  // namespace

int main() {
    bool ok = Run(false, 3) && Run(true, 2);
    return ok ? 0 : 1;
}
