// Vorland.exe under Wine, timed as a user sees it:
//   - from process start to a usable programmer window, with no unit attached (every port of
//     the scan fails) and with the simulated unit on COM5 (the last port scanned);
//   - a whole AM29F040 (512 KiB) read and programmed through the window, with the simulator
//     paced at 921600 baud, against the wire time of the frames and replies.
//
//   wine programmer_bench.exe [runs]   (VORLAND_SIM_EXE may name an optimised vorland-sim)
#include <windows.h>

#include "bench/win/bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/win/support/sim_unit.h"
#include "tests/win/support/vorland_app.h"

namespace {

using testing_support::VorlandApp;

constexpr int kBlocks = 0x80000 / 256;
// 10 bits per byte; read: 7-byte frame + 256 data + 1 checksum; write: 263-byte frame + 1 reply.
constexpr double kWireMs = kBlocks * 264.0 * 10.0 / 921600.0 * 1000.0;

double TimeStart(int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        VorlandApp app;
        double start = NowMs();
        if (!app.Start()) return -1;
        times.push_back(NowMs() - start);
        app.Close();
    }
    return Median(times);
}

void TimeTransfer(VorlandApp& app, int id, const char* name) {
    double start = NowMs();
    std::vector<std::string> lines = app.Run(id, "PROM I/O succeeded.", 120000);
    double elapsed = NowMs() - start;
    bool ok = !lines.empty() && lines.back() == "PROM I/O succeeded.";
    std::printf("%s of 512 KiB through the window at 921600 baud: %.0f ms, wire %.0f ms, "
                "overhead %.1f %%%s\n",
                name, elapsed, kWireMs, (elapsed - kWireMs) / kWireMs * 100.0,
                ok ? "" : " (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    SimUnit sim;
    std::printf("start to usable window, no unit: median %.0f ms over %d runs\n", TimeStart(runs),
                runs);

    SimUnit::Options onCom5;
    onCom5.com = 5;
    if (!sim.Start(onCom5)) {
        std::printf("simulator: %s\n", sim.error().c_str());
        return 1;
    }
    std::printf("start to usable window, unit on COM5: median %.0f ms over %d runs\n",
                TimeStart(runs), runs);

    SimUnit::Options paced;
    paced.pace = true;
    paced.commands = {"model vorland", "chip 1"};
    if (!sim.Start(paced)) {
        std::printf("simulator: %s\n", sim.error().c_str());
        return 1;
    }
    VorlandApp app;
    SettingsRecord settings{};
    ApplyDefaultSettings(settings);
    settings.chipType = 1;
    settings.chipEnd = settings.bufferEnd = 0x7FFFF;
    app.WriteSettings(settings);
    if (!app.Start()) return 1;
    TimeTransfer(app, IDC_READ_CHIP, "read");
    TimeTransfer(app, IDC_PROGRAM_CHIP, "program");
    app.Close();
    return 0;
}
