// Reading and programming a whole AM29F040 (512 KiB, 2048 blocks of 256 bytes), and where each
// block's time goes beyond the wire:
//   - in process, on virtual time: the host's and the protocol's own cost per block;
//   - through a pseudo-terminal to a bare peer, a thread of this program that answers every
//     frame at once and models nothing: what the terminal and the two wake-ups cost per block;
//     and with the peer answering each frame when its and its reply's wire time are over, as
//     the simulator does: what the terminal costs a paced block, the waits included;
//   - through a real pseudo-terminal to the vorland-sim program at 921600 baud, with the
//     simulator's pacing off (host, kernel and simulator overhead per block) and on (elapsed
//     time against the wire time of the frames and replies, which is the limit);
//   - the same paced, behind a simulated USB-serial adapter whose latency timer holds every
//     reply shorter than a packet for 16 ms (the usual default) or 1 ms.
// Counters: us_per_block, median_us (the median time from one frame to the next: a block's
// round trip, robust against the rare long stall of a busy machine), and for the paced runs
// wire_ms, over_wire (elapsed / wire), over_us_per_block (the time beyond the wire, per block)
// and median_over_us (the median block's time beyond its wire time).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/kvtandrel.h"
#include "sim/simulated_port.h"
#include "sim/sim_program_posix.h"

namespace {

constexpr std::int32_t kChipSize = 0x80000;
constexpr std::int32_t kBlocks = kChipSize / 256;
// 10 bits per byte; read: 7-byte frame + 256 data + 1 checksum; write: 263-byte frame + 1 reply.
constexpr double kWireMs = kBlocks * 264.0 * 10.0 / 921600.0 * 1000.0;
constexpr double kBlockWireUs = kWireMs * 1000.0 / kBlocks;

using SteadyClock = std::chrono::steady_clock;

// A port that notes when each write began: the frames of a transfer, one per block.
class TimedLink final : public SerialLink {
  public:
    TimedLink(std::unique_ptr<SerialLink> link, std::vector<SteadyClock::time_point>& writes)
        : link_(std::move(link)), writes_(writes) {}
    bool SetupQueues(std::uint32_t in, std::uint32_t out) override {
        return link_->SetupQueues(in, out);
    }
    bool GetLineSettings(SerialLineSettings& s) override { return link_->GetLineSettings(s); }
    bool SetLineSettings(const SerialLineSettings& s) override { return link_->SetLineSettings(s); }
    bool GetTimeouts(SerialTimeouts& t) override { return link_->GetTimeouts(t); }
    bool SetTimeouts(const SerialTimeouts& t) override { return link_->SetTimeouts(t); }
    bool Purge() override { return link_->Purge(); }
    bool Write(const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override {
        writes_.push_back(SteadyClock::now());
        return link_->Write(data, size, written);
    }
    bool Read(std::uint8_t* data, std::uint32_t size, std::uint32_t* received) override {
        return link_->Read(data, size, received);
    }

  private:
    std::unique_ptr<SerialLink> link_;
    std::vector<SteadyClock::time_point>& writes_;
};

class TimedPorts final : public SerialPorts {
  public:
    explicit TimedPorts(SerialPorts& ports) : ports_(ports) {}
    std::unique_ptr<SerialLink> Open(const char* name) override {
        std::unique_ptr<SerialLink> link = ports_.Open(name);
        if (link == nullptr) return nullptr;
        return std::make_unique<TimedLink>(std::move(link), writes);
    }
    bool Exists(const char* name) override { return ports_.Exists(name); }

    std::vector<SteadyClock::time_point> writes;

  private:
    SerialPorts& ports_;
};

// The median microseconds from one of the last `blocks` frames to the next.
double MedianBlockUs(const std::vector<SteadyClock::time_point>& writes, std::size_t blocks) {
    if (writes.size() < blocks + 1) return 0;
    std::vector<double> us;
    for (std::size_t i = writes.size() - blocks; i < writes.size(); ++i) {
        us.push_back(std::chrono::duration<double, std::micro>(writes[i] - writes[i - 1]).count());
    }
    std::nth_element(us.begin(), us.begin() + static_cast<std::ptrdiff_t>(us.size() / 2), us.end());
    return us[us.size() / 2];
}

std::vector<std::uint8_t> Image() {
    std::vector<std::uint8_t> image(kChipSize);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
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
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (result != 0) {
            state.SkipWithError(
                ("transfer failed: " + FailureLogLine(device.LastFailure())).c_str());
        }
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

// The master side of a pseudo-terminal, served by a thread that answers each read frame (7
// bytes, AM29F040) with 256 zero bytes and their sum and each write frame (263 bytes) with 'O':
// as soon as the frame is complete, or paced, once the wire time of the frame and the reply at
// 921600 baud has passed since the frame came (slept to shortly before, then polled for).
class BarePeer {
  public:
    explicit BarePeer(bool pace = false) : pace_(pace) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256];
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name, sizeof name) != 0) {
            return;
        }
        slavePath_ = name;
        // Held open, so that the host's reopen at another rate does not hang the terminal up.
        slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        thread_ = std::thread([this] { Serve(); });
    }
    ~BarePeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : {slave_, master_}) {
            if (fd >= 0) close(fd);
        }
    }
    BarePeer(const BarePeer&) = delete;
    BarePeer& operator=(const BarePeer&) = delete;

    const std::string& slavePath() const { return slavePath_; }

  private:
    void Serve() {
        std::vector<std::uint8_t> frame;
        const std::vector<std::uint8_t> readReply(257, 0);
        const std::uint8_t accepted = 'O';
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            std::uint8_t bytes[4096];
            const ssize_t n = read(master_, bytes, sizeof bytes);
            if (n <= 0) continue;
            const auto came = SteadyClock::now();
            frame.insert(frame.end(), bytes, bytes + n);
            if (frame.size() >= 7 && frame[1] == 'R') {
                frame.erase(frame.begin(), frame.begin() + 7);
                AwaitWire(came);
                Write(readReply.data(), readReply.size());
            } else if (frame.size() >= 263 && frame[1] == 'W') {
                frame.erase(frame.begin(), frame.begin() + 263);
                AwaitWire(came);
                Write(&accepted, 1);
            }
        }
    }
    void AwaitWire(SteadyClock::time_point came) const {
        if (!pace_) return;
        const auto due = came + std::chrono::duration<double, std::micro>(kBlockWireUs);
        std::this_thread::sleep_until(due - std::chrono::microseconds(150));
        while (SteadyClock::now() < due) {
        }
    }
    void Write(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = write(master_, data, size);
            if (n <= 0) return;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    const bool pace_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void ThroughBareTerminal(benchmark::State& state, bool write, bool pace = false) {
    BarePeer peer(pace);
    PosixSerialPorts system;
    system.Map("COM1", peer.slavePath());
    TimedPorts ports(system);
    KVTandrel device(ports, SystemClock());
    // No identification: the peer knows no more than the two frames.
    device.capabilities = kCapabilityProgrammer;
    if (peer.slavePath().empty() || device.InitPort("COM1", 921600) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const double ms = TimeTransfers(state, device, write, [] {});
    state.counters["us_per_block"] = ms * 1000.0 / kBlocks;
    // The last transfer's frames, less the first of them.
    const double medianUs = MedianBlockUs(ports.writes, kBlocks - 1);
    state.counters["median_us"] = medianUs;
    if (pace) {
        state.counters["over_wire"] = ms / kWireMs;
        state.counters["median_over_us"] = medianUs - kBlockWireUs;
    }
}

void ThroughTerminal(benchmark::State& state, bool write, bool pace, int usbLatencyMs = 0) {
    std::vector<std::string> options;
    if (pace) options.push_back("--pace");
    if (usbLatencyMs > 0) {
        options.push_back("--usb-latency-ms");
        options.push_back(std::to_string(usbLatencyMs));
    }
    SimProgram sim(VORLAND_SIM_EXE, options);
    if (!sim.ready()) {
        state.SkipWithError("vorland-sim did not start");
        return;
    }
    PosixSerialPorts system;
    for (const char* name : {"COM2", "COM3", "COM4", "COM5"}) system.Map(name, "/nonexistent");
    system.Map("COM1", sim.linkPath());
    TimedPorts ports(system);
    KVTandrel device(ports, SystemClock());
    FirmwareVersion version{};
    if (device.DetectHardware(nullptr, 0, &version) == 0 || device.SetLinkSpeed(0) != 0) {
        state.SkipWithError("no unit at 921600 baud");
        return;
    }
    const double ms = TimeTransfers(state, device, write, [] {});
    const double medianUs = MedianBlockUs(ports.writes, kBlocks - 1);
    device.ClosePort();
    state.counters["us_per_block"] = ms * 1000.0 / kBlocks;
    state.counters["median_us"] = medianUs;
    if (pace) {
        state.counters["wire_ms"] = kWireMs;
        state.counters["over_wire"] = ms / kWireMs;
        state.counters["over_us_per_block"] = (ms - kWireMs) * 1000.0 / kBlocks;
        state.counters["median_over_us"] = medianUs - kBlockWireUs;
    }
}

void BM_ReadChipInProcess(benchmark::State& state) {
    InProcess(state, false);
}
void BM_WriteChipInProcess(benchmark::State& state) {
    InProcess(state, true);
}
void BM_ReadChipBareTerminal(benchmark::State& state) {
    ThroughBareTerminal(state, false);
}
void BM_WriteChipBareTerminal(benchmark::State& state) {
    ThroughBareTerminal(state, true);
}
void BM_ReadChipBareTerminalPaced(benchmark::State& state) {
    ThroughBareTerminal(state, false, true);
}
void BM_WriteChipBareTerminalPaced(benchmark::State& state) {
    ThroughBareTerminal(state, true, true);
}
void BM_ReadChipPty(benchmark::State& state) {
    ThroughTerminal(state, false, false);
}
void BM_WriteChipPty(benchmark::State& state) {
    ThroughTerminal(state, true, false);
}
void BM_ReadChipPty921600Paced(benchmark::State& state) {
    ThroughTerminal(state, false, true);
}
void BM_WriteChipPty921600Paced(benchmark::State& state) {
    ThroughTerminal(state, true, true);
}
// The argument: the adapter's latency timer in milliseconds.
void BM_ReadChipPaced921600UsbLatency(benchmark::State& state) {
    ThroughTerminal(state, false, true, static_cast<int>(state.range(0)));
}
void BM_WriteChipPaced921600UsbLatency(benchmark::State& state) {
    ThroughTerminal(state, true, true, static_cast<int>(state.range(0)));
}

BENCHMARK(BM_ReadChipInProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteChipInProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadChipBareTerminal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_WriteChipBareTerminal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReadChipBareTerminalPaced)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_WriteChipBareTerminalPaced)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_ReadChipPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_WriteChipPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReadChipPty921600Paced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_WriteChipPty921600Paced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
// A 16 ms timer makes each transfer take over half a minute: once is enough.
BENCHMARK(BM_ReadChipPaced921600UsbLatency)
    ->Arg(16)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_WriteChipPaced921600UsbLatency)
    ->Arg(16)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
