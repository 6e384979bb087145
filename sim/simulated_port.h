// Serial ports that lead to simulated units in the same process, on virtual time: a read that
// waits for a silent unit advances the clock by its timeout instead of sleeping. Bytes take
// their wire time at the port's baud rate (10 bits each), the unit's pauses are kept, and the
// COMMTIMEOUTS rules apply exactly as on a real port. Every call is recorded, so tests can look
// at the frames sent, the purges and the timeouts set.
//
// Single-threaded: the ports, their links and the clock belong to one thread.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "sim/programmer_unit.h"

// Time in nanoseconds, from 0; TickCount starts at startTickMs (to test wrap-around).
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(std::uint32_t startTickMs = 0) : startTickMs_(startTickMs) {}
    void Sleep(std::uint32_t milliseconds) override { nowNs_ += milliseconds * 1000000ull; }
    std::uint32_t TickCount() override {
        return static_cast<std::uint32_t>(startTickMs_ + nowNs_ / 1000000);
    }
    std::uint64_t NowNs() const { return nowNs_; }
    void AdvanceTo(std::uint64_t ns) {
        if (ns > nowNs_) nowNs_ = ns;
    }

private:
    std::uint32_t startTickMs_;
    std::uint64_t nowNs_ = 0;
};

// System-call failures a port can be told to produce.
struct LinkFaults {
    bool failSetup = false;
    bool failGetLine = false;
    bool failSetLine = false;
    bool failGetTimeouts = false;
    bool failSetTimeouts = false;
    std::int32_t failWriteAfter = -1;  // this many writes succeed, then every write fails
    std::int32_t failReadAfter = -1;   // likewise for reads
    bool shortWrite = false;           // writes report one byte less than asked
};

struct LinkEvent {
    enum class Kind { kOpen, kOpenFailed, kClose, kSetup, kSetLine, kSetTimeouts, kPurge, kWrite, kRead };
    Kind kind;
    std::string port;
    std::vector<std::uint8_t> bytes;  // kWrite: the bytes sent; kRead: the bytes received
    std::uint32_t requested = 0;      // kRead: bytes asked for; kSetup: input queue size
    std::uint32_t outputSize = 0;     // kSetup: output queue size
    SerialLineSettings line;          // kSetLine
    SerialTimeouts timeouts;          // kSetTimeouts
    std::uint64_t timeNs = 0;         // when the call began
};

class SimulatedPorts final : public SerialPorts {
public:
    // clock is borrowed and must outlive the ports.
    explicit SimulatedPorts(VirtualClock& clock) : clock_(clock) {}

    // Makes a port exist under name, leading to unit (borrowed; null: a port with nothing
    // attached, which never answers). A name never added does not exist.
    void AddPort(const std::string& name, ProgrammerUnit* unit);
    void SetFaults(const std::string& name, const LinkFaults& faults);
    // The line state a port reports before anybody set it.
    void SetLine(const std::string& name, const SerialLineSettings& line);
    // What the system names the hardware behind a port by (AdapterId); "" unless set.
    void SetAdapterId(const std::string& name, const std::string& id) { ports_[name].adapter = id; }
    // Whether to charge each byte its wire time (on by default).
    void SetWireTime(bool on) { wireTime_ = on; }

    std::unique_ptr<SerialLink> Open(const char* name) override;
    // Whether name was added; records nothing.
    bool Exists(const char* name) override { return name != nullptr && ports_.count(name) != 0; }
    std::string AdapterId(const char* name) override {
        return Exists(name) ? ports_[name].adapter : std::string();
    }

    const std::vector<LinkEvent>& events() const { return events_; }
    void ClearEvents() { events_.clear(); }
    // The bytes of every write, in order.
    std::vector<std::vector<std::uint8_t>> Frames() const;
    bool IsOpen(const std::string& name) const;
    // The baud rate the port was last set to (0 before any).
    std::uint32_t BaudRate(const std::string& name) const;

private:
    friend class SimulatedLink;
    struct PendingByte {
        std::uint64_t readyNs;  // when it has fully arrived at the host
        std::uint8_t value;
    };
    struct Port {
        ProgrammerUnit* unit = nullptr;
        LinkFaults faults;
        bool open = false;
        SerialLineSettings line{9600, 8, 0, 0};
        SerialTimeouts timeouts{};
        std::deque<PendingByte> pending;  // unit -> host, in arrival order
        std::uint64_t hostTxFreeNs = 0;   // when the host's last byte has left
        std::uint64_t unitTxFreeNs = 0;   // when the unit's last byte will have left
        std::int32_t writes = 0;
        std::int32_t reads = 0;
        std::string adapter;
    };
    void Record(LinkEvent event);

    VirtualClock& clock_;
    bool wireTime_ = true;
    std::map<std::string, Port> ports_;
    std::vector<LinkEvent> events_;
};
