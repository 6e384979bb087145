// Vorland.exe under Wine, timed as a user sees it:
//   - the port scan with no unit, in this process: the whole scan (COM1 to COM5, then every
//     port up to COM256 that exists) against COM1 to COM5 alone, as the scan was before;
//   - from process start to the programmer window, and to the result of its search for the
//     unit (which runs while the window is already there), with no unit, with the simulated unit
//     on COM12, and with that unit left at 921600 baud by an earlier host;
//   - the link alone finding that raised unit (KVTandrel in this process);
//   - a whole AM29F040 (512 KiB) read, programmed, and programmed and verified through the
//     window, side by side with the same transfers by the link alone (KVTandrel in this process:
//     a program plus a read stands for the program and its verify), the simulator paced at
//     921600 baud; rounds alternate between the two so that both see the same machine load.
//
//   wine programmer_bench.exe [rounds]   (VORLAND_SIM_EXE may name an optimised vorland-sim)
#include <windows.h>

#include "bench/win/bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "device/kvtandrel.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "resources/resource.h"
#include "tests/win/support/sim_unit.h"
#include "tests/win/support/vorland_app.h"

namespace {

using testing_support::VorlandApp;

constexpr std::int32_t kChipSize = 0x80000;
constexpr int kBlocks = kChipSize / 256;
// 10 bits per byte; read: 7-byte frame + 256 data + 1 checksum; write: 263-byte frame + 1 reply.
constexpr double kWireMs = kBlocks * 264.0 * 10.0 / 921600.0 * 1000.0;

// The system's ports as the scan knew them before it went past COM5: no other port exists.
class FirstFivePorts final : public SerialPorts {
  public:
    std::unique_ptr<SerialLink> Open(const char* name) override {
        return SystemSerialPorts().Open(name);
    }
    bool Exists(const char*) override { return false; }
};

double TimeScan(SerialPorts& ports, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        KVTandrel device(ports, SystemClock());
        FirmwareVersion version{};
        double start = NowMs();
        static_cast<void>(device.DetectHardware(nullptr, 0, &version));
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

// ms from process start to the window, and to the search's result in its log: medians.
struct StartTimes {
    double window = -1, found = -1;
};

StartTimes TimeStart(int runs, const std::function<void()>& prepare) {
    std::vector<double> windows, results;
    for (int i = 0; i < runs; ++i) {
        if (prepare) prepare();
        VorlandApp app;
        double start = NowMs();
        if (!app.Start(false)) return {};
        windows.push_back(NowMs() - start);
        while (app.Log().empty() || app.Log().front() == "Looking for the programmer...") {
            if (NowMs() - start > 30000) return {};
            Sleep(1);
        }
        results.push_back(NowMs() - start);
        app.Close();
    }
    return {Median(windows), Median(results)};
}

void ReportStart(const char* what, int runs, const std::function<void()>& prepare = {}) {
    const StartTimes t = TimeStart(runs, prepare);
    std::printf("start, %s: window %.0f ms, search result %.0f ms (medians of %d runs)\n", what,
                t.window, t.found, runs);
}

struct Round {
    // ms; negative: failed
    double windowRead, windowProgram, windowProgramVerify, linkRead, linkProgram;
    double linkProgramRead() const {
        return linkRead > 0 && linkProgram > 0 ? linkRead + linkProgram : -1;
    }
};

// Presses the button and waits for lastLine; the time taken when okLine came too.
double TimeWindowTransfer(VorlandApp& app, int id, const char* lastLine, const char* okLine) {
    double start = NowMs();
    std::vector<std::string> lines = app.Run(id, lastLine, 120000);
    double elapsed = NowMs() - start;
    bool ok = std::find(lines.begin(), lines.end(), okLine) != lines.end();
    if (!ok) {
        std::printf("the window did not log \"%s\" after %.0f ms:\n", okLine, elapsed);
        for (const std::string& line : lines) std::printf("  %s\n", line.c_str());
    }
    return ok ? elapsed : -1;
}

bool TimeWindow(Round& round) {
    VorlandApp app;
    SettingsRecord settings{};
    ApplyDefaultSettings(settings);
    settings.chipType = 1;
    settings.chipEnd = settings.bufferEnd = kChipSize - 1;
    app.WriteSettings(settings);
    if (!app.Start()) return false;
    const char* succeeded = "PROM I/O succeeded.";
    round.windowRead = TimeWindowTransfer(app, IDC_READ_CHIP, "Checksum ", succeeded);
    // "Verify after programming" is checked at start.
    const char* verified = "SUCCESS: Verification Succeeded.";
    round.windowProgramVerify = TimeWindowTransfer(app, IDC_PROGRAM_CHIP, verified, verified);
    SendMessageA(app.Item(IDC_VERIFY_AFTER_PROGRAM), BM_SETCHECK, BST_UNCHECKED, 0);
    round.windowProgram = TimeWindowTransfer(app, IDC_PROGRAM_CHIP, "Checksum ", succeeded);
    return app.Close();
}

bool TimeLink(Round& round) {
    KVTandrel device;
    FirmwareVersion version{};
    if (device.DetectHardware(nullptr, 0, &version) == 0 || device.SetLinkSpeed(0) != 0) {
        return false;
    }
    std::vector<std::uint8_t> image(kChipSize);
    double start = NowMs();
    bool read = device.ReadChip(1, image.data(), 0, kChipSize, nullptr) == 0;
    round.linkRead = read ? NowMs() - start : -1;
    start = NowMs();
    bool written = device.WriteChip(1, image.data(), 0, kChipSize, nullptr) == 0;
    round.linkProgram = written ? NowMs() - start : -1;
    device.ClosePort();
    return true;
}

void Report(const char* what, const std::vector<Round>& rounds, double Round::*window,
            double (*link)(const Round&)) {
    std::vector<double> ratios;
    for (const Round& r : rounds) {
        if (r.*window > 0 && link(r) > 0) ratios.push_back(r.*window / link(r));
    }
    if (ratios.empty()) {
        std::printf("%s: FAILED\n", what);
        return;
    }
    std::printf("%s: window / link alone best %.3f, median %.3f over %zu rounds\n", what,
                *std::min_element(ratios.begin(), ratios.end()), Median(ratios), ratios.size());
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    FirstFivePorts firstFive;
    const double before = TimeScan(firstFive, 9);
    const double whole = TimeScan(SystemSerialPorts(), 9);
    std::printf(
        "scan with no unit: COM1 to COM5 %.1f ms, every port %.1f ms (%.1f ms more), "
        "median of 9\n",
        before, whole, whole - before);

    SimUnit sim;
    ReportStart("no unit", 5);
    SimUnit::Options onCom12;
    onCom12.com = 12;
    if (!sim.Start(onCom12)) {
        std::printf("simulator: %s\n", sim.error().c_str());
        return 1;
    }
    ReportStart("unit on COM12", 5);
    // Each run's Close sets the unit back: raise it again before the next.
    std::vector<double> raised;
    for (int i = 0; i < 5; ++i) {
        onCom12.commands = {"rate 921600"};
        if (!sim.Start(onCom12)) return 1;
        KVTandrel device;
        FirmwareVersion version{};
        const double start = NowMs();
        const bool found = device.DetectHardware(nullptr, 0, &version) != 0;
        raised.push_back(found ? NowMs() - start : -1);
        device.ClosePort();
    }
    std::printf("the link finding a unit left at 921600 baud on COM12: median %.0f ms over 5\n",
                Median(raised));
    ReportStart("unit on COM12 left at 921600 baud", 5,
                [&] { static_cast<void>(sim.Ok("rate 921600")); });

    SimUnit::Options paced;
    paced.pace = true;
    paced.commands = {"model vorland", "chip 1"};
    if (!sim.Start(paced)) {
        std::printf("simulator: %s\n", sim.error().c_str());
        return 1;
    }
    std::vector<Round> results;
    for (int i = 0; i < rounds; ++i) {
        Round round{-1, -1, -1, -1, -1};
        // Which goes first alternates, so that a load rising or falling favours neither.
        const bool found = i % 2 == 0 ? TimeWindow(round) && TimeLink(round)
                                      : TimeLink(round) && TimeWindow(round);
        if (!found) {
            std::printf("round %d: the unit was not found\n", i + 1);
            return 1;
        }
        std::printf(
            "round %d, 512 KiB at 921600 baud (wire %.0f ms): read window %.0f ms, link "
            "%.0f ms; program window %.0f ms, link %.0f ms; program and verify window %.0f ms, "
            "link program + read %.0f ms\n",
            i + 1, kWireMs, round.windowRead, round.linkRead, round.windowProgram,
            round.linkProgram, round.windowProgramVerify, round.linkProgramRead());
        results.push_back(round);
    }
    Report("read", results, &Round::windowRead, [](const Round& r) { return r.linkRead; });
    Report("program", results, &Round::windowProgram, [](const Round& r) { return r.linkProgram; });
    Report("program and verify", results, &Round::windowProgramVerify,
           [](const Round& r) { return r.linkProgramRead(); });
    return 0;
}
