#include "sim/simulated_port.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kMs = 1000000;

}  // namespace

class SimulatedLink final : public SerialLink {
public:
    SimulatedLink(SimulatedPorts& ports, std::string name) : ports_(ports), name_(std::move(name)) {}
    ~SimulatedLink() override {
        port().open = false;
        Record(LinkEvent::Kind::kClose);
    }
    SimulatedLink(const SimulatedLink&) = delete;
    SimulatedLink& operator=(const SimulatedLink&) = delete;

    bool SetupQueues(std::uint32_t inputSize, std::uint32_t outputSize) override {
        LinkEvent event = Event(LinkEvent::Kind::kSetup);
        event.requested = inputSize;
        event.outputSize = outputSize;
        ports_.Record(std::move(event));
        return !port().faults.failSetup;
    }

    bool GetLineSettings(SerialLineSettings& settings) override {
        if (port().faults.failGetLine) return false;
        settings = port().line;
        return true;
    }

    bool SetLineSettings(const SerialLineSettings& settings) override {
        if (port().faults.failSetLine) return false;
        port().line = settings;
        LinkEvent event = Event(LinkEvent::Kind::kSetLine);
        event.line = settings;
        ports_.Record(std::move(event));
        return true;
    }

    bool GetTimeouts(SerialTimeouts& timeouts) override {
        if (port().faults.failGetTimeouts) return false;
        timeouts = port().timeouts;
        return true;
    }

    bool SetTimeouts(const SerialTimeouts& timeouts) override {
        if (port().faults.failSetTimeouts) return false;
        port().timeouts = timeouts;
        LinkEvent event = Event(LinkEvent::Kind::kSetTimeouts);
        event.timeouts = timeouts;
        ports_.Record(std::move(event));
        return true;
    }

    bool Purge() override {
        Record(LinkEvent::Kind::kPurge);
        // Bytes that have arrived are dropped; bytes still on the wire arrive later.
        auto& pending = port().pending;
        const std::uint64_t now = ports_.clock_.NowNs();
        while (!pending.empty() && pending.front().readyNs <= now) pending.pop_front();
        return true;
    }

    bool Write(const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override {
        *written = 0;
        SimulatedPorts::Port& p = port();
        if (p.faults.failWriteAfter >= 0 && p.writes >= p.faults.failWriteAfter) return false;
        ++p.writes;
        const std::uint32_t count = p.faults.shortWrite && size > 0 ? size - 1 : size;
        const std::uint64_t start = std::max(ports_.clock_.NowNs(), p.hostTxFreeNs);
        const std::uint64_t hostByteNs = ByteNs(p.line.baudRate);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t arrival = start + (i + 1) * hostByteNs;
            if (p.unit == nullptr) continue;
            // Replies leave at the rate the unit had when it produced them.
            const std::uint64_t unitByteNs = ByteNs(p.unit->baudRate());
            p.unit->Receive(data[i], arrival / 1000, p.line.baudRate);
            for (const UnitByte& out : p.unit->TakeOutput()) {
                const std::uint64_t ready = std::max(arrival, p.unitTxFreeNs) +
                                            out.pauseUs * 1000ull + unitByteNs;
                p.unitTxFreeNs = ready;
                p.pending.push_back({ready, out.value});
            }
        }
        p.hostTxFreeNs = start + count * hostByteNs;
        *written = count;
        LinkEvent event = Event(LinkEvent::Kind::kWrite);
        event.bytes.assign(data, data + count);
        ports_.Record(std::move(event));
        return true;
    }

    bool Read(std::uint8_t* data, std::uint32_t size, std::uint32_t* received) override {
        *received = 0;
        SimulatedPorts::Port& p = port();
        if (p.faults.failReadAfter >= 0 && p.reads >= p.faults.failReadAfter) return false;
        ++p.reads;
        LinkEvent event = Event(LinkEvent::Kind::kRead);
        event.requested = size;

        const SerialTimeouts& t = p.timeouts;
        const bool returnAtOnce =
            t.readInterval == kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
        const bool firstBytesEnd = t.readInterval == kMaxDword && !returnAtOnce;
        const std::uint64_t start = ports_.clock_.NowNs();
        const std::uint64_t totalMs =
            static_cast<std::uint64_t>(t.readTotalMultiplier) * size + t.readTotalConstant;
        const std::uint64_t totalDeadline = totalMs == 0 ? kNever : start + totalMs * kMs;
        const bool useInterval = t.readInterval != 0 && !firstBytesEnd && !returnAtOnce;
        std::uint64_t last = start;
        std::uint32_t got = 0;
        while (got < size) {
            std::uint64_t deadline = totalDeadline;
            if (got > 0 && useInterval) deadline = std::min(deadline, last + t.readInterval * kMs);
            if (p.pending.empty()) {
                // Nothing else is on its way: the read ends at its deadline (at once without one).
                if (!returnAtOnce && deadline != kNever) ports_.clock_.AdvanceTo(deadline);
                break;
            }
            const std::uint64_t ready = p.pending.front().readyNs;
            if (returnAtOnce && ready > start) break;
            if (firstBytesEnd && got > 0 && ready > ports_.clock_.NowNs()) break;
            if (ready > deadline) {
                ports_.clock_.AdvanceTo(deadline);
                break;
            }
            data[got++] = p.pending.front().value;
            p.pending.pop_front();
            last = std::max(ready, start);
            ports_.clock_.AdvanceTo(ready);
        }
        *received = got;
        event.bytes.assign(data, data + got);
        ports_.Record(std::move(event));
        return true;
    }

private:
    SimulatedPorts::Port& port() { return ports_.ports_.at(name_); }

    std::uint64_t ByteNs(std::uint32_t baud) const {
        return ports_.wireTime_ && baud != 0 ? 10'000'000'000ull / baud : 0;
    }

    LinkEvent Event(LinkEvent::Kind kind) const {
        LinkEvent event{kind, name_};
        event.timeNs = ports_.clock_.NowNs();
        return event;
    }

    void Record(LinkEvent::Kind kind) { ports_.Record(Event(kind)); }

    SimulatedPorts& ports_;
    std::string name_;
};

void SimulatedPorts::AddPort(const std::string& name, ProgrammerUnit* unit) {
    ports_[name].unit = unit;
}

void SimulatedPorts::SetFaults(const std::string& name, const LinkFaults& faults) {
    ports_[name].faults = faults;
}

void SimulatedPorts::SetLine(const std::string& name, const SerialLineSettings& line) {
    ports_[name].line = line;
}

void SimulatedPorts::Record(LinkEvent event) { events_.push_back(std::move(event)); }

std::unique_ptr<SerialLink> SimulatedPorts::Open(const char* name) {
    LinkEvent event{LinkEvent::Kind::kOpenFailed, name != nullptr ? name : ""};
    event.timeNs = clock_.NowNs();
    auto found = name != nullptr ? ports_.find(name) : ports_.end();
    if (found == ports_.end() || found->second.open) {
        Record(std::move(event));
        return nullptr;
    }
    Port& port = found->second;
    port.open = true;
    // What arrived while the port was closed is lost.
    while (!port.pending.empty() && port.pending.front().readyNs <= clock_.NowNs()) {
        port.pending.pop_front();
    }
    event.kind = LinkEvent::Kind::kOpen;
    Record(std::move(event));
    return std::make_unique<SimulatedLink>(*this, name);
}

std::vector<std::vector<std::uint8_t>> SimulatedPorts::Frames() const {
    std::vector<std::vector<std::uint8_t>> frames;
    for (const LinkEvent& event : events_) {
        if (event.kind == LinkEvent::Kind::kWrite) frames.push_back(event.bytes);
    }
    return frames;
}

bool SimulatedPorts::IsOpen(const std::string& name) const {
    auto found = ports_.find(name);
    return found != ports_.end() && found->second.open;
}

std::uint32_t SimulatedPorts::BaudRate(const std::string& name) const {
    auto found = ports_.find(name);
    return found == ports_.end() ? 0 : found->second.line.baudRate;
}
