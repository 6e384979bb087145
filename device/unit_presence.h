// Keeping a program attached to the unit it works on while units come and go (the programmer
// window: one link that stays open across operations).
//
// The link and what is known of its unit belong to whichever thread holds the UnitLink's one
// LinkHold: the window thread while it is idle, a search thread while it looks, an operation's
// worker while it runs. The hold is moved from thread to thread with the work (a thread's start
// takes it, the message that reports the end gives it back), and the device can be reached only
// through it. Only Stop() is for any thread.
//
// Before each operation one version frame tells whether the unit is still there. When it is not,
// the ports are scanned again, the unit's own port first. The window works on the unit it was
// given: a unit found is taken up only when none was given, or when it is that same unit (its
// port, model, version and adapter). Anything else is reported (otherUnit) and becomes the unit
// of the next operation, so that the user decides. A unit found is raised to its fast link.
// Portable.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "device/kvtandrel.h"

// Room for what the system names the hardware behind a port by (SerialPorts::AdapterId; a
// Windows device instance path is at most 200 characters).
inline constexpr std::size_t kAdapterIdSize = 201;

// Who a unit is. Without flags, no unit: port may still name where one was found last.
struct UnitIdentity {
    std::uint32_t flags = 0;  // HardwareFlags of the unit
    FirmwareVersion version{};
    char name[kHardwareNameSize] = {};  // "Vorland v1.0.F"
    char port[25] = {};                 // where it answers
    char adapter[kAdapterIdSize] = {};  // the adapter behind the port; "" when the system has none

    bool supported() const { return (flags & kHardwareSupportedMask) != 0; }
};

// The same unit: model, version, port and adapter alike.
[[nodiscard]] bool SameUnit(const UnitIdentity& a, const UnitIdentity& b);

// What a check or a search found. The caller tells the user when `searched` or `stopped` is set.
struct UnitPresence {
    bool searched = false;  // the ports were scanned (else the unit given answered where it was)
    bool stopped = false;   // UnitLink::Stop() ended the work
    // A supported programmer answered but the switch to its fast link failed: the port is
    // closed, and `failure` tells why.
    bool raiseFailed = false;
    // A supported programmer answered that is not the unit the work was on (`given`): nothing
    // may run on it now. It is the link's unit from now on.
    bool otherUnit = false;
    UnitIdentity found;      // what answered; no flags: nothing
    UnitIdentity given;      // the unit the work was on, before the search
    TandrelFailure failure;  // the device's record of the search

    // The unit the work is on is there, its port open.
    bool ready() const { return found.supported() && !raiseFailed && !stopped && !otherUnit; }
};

class UnitLink;

// Holding the link: move-only, and only one exists (UnitLink::Take). An empty hold reaches
// nothing.
class LinkHold {
  public:
    LinkHold() = default;
    LinkHold(LinkHold&& other) noexcept : link_(other.link_) { other.link_ = nullptr; }
    LinkHold& operator=(LinkHold&& other) noexcept {
        if (this != &other) {
            link_ = other.link_;
            other.link_ = nullptr;
        }
        return *this;
    }
    LinkHold(const LinkHold&) = delete;
    LinkHold& operator=(const LinkHold&) = delete;

    explicit operator bool() const { return link_ != nullptr; }
    // The device, the unit the work is on, and the ports the device opens: only while held.
    KVTandrel* operator->() const;
    KVTandrel& operator*() const { return *operator->(); }
    UnitIdentity& unit() const;
    SerialPorts& ports() const;
    // Before the holder hands the link to new work: a stop asked of earlier work does not
    // reach it.
    void StartWork() const;

  private:
    friend class UnitLink;
    explicit LinkHold(UnitLink* link) : link_(link) {}
    UnitLink* link_ = nullptr;
};

class UnitLink {
  public:
    // The system's ports and clock.
    UnitLink();
    // ports and clock are borrowed and must outlive the link.
    UnitLink(SerialPorts& ports, Clock& clock);
    UnitLink(const UnitLink&) = delete;
    UnitLink& operator=(const UnitLink&) = delete;

    // The one hold: the first call returns it, every later one an empty hold.
    [[nodiscard]] LinkHold Take();
    // Any thread: asks the holder's work (a search, an operation and the search before it) to
    // end at its next step (KVTandrel::stopRequested). Idle, it stays asked until StartWork.
    void Stop() { device_.stopRequested = 1; }

  private:
    friend class LinkHold;
    SerialPorts& ports_;
    KVTandrel device_;
    UnitIdentity unit_;  // the unit the work is on
    std::atomic<bool> taken_{false};
};

// Where to look.
struct UnitSearchPlan {
    ScanStart start = ScanStart::kUsualOrder;  // with kLastPortFirst, the unit's port first
    const char* onlyPort = nullptr;            // non-null: this port alone
    // true: a unit other than the one given is reported (otherUnit), not worked on
    bool keepToUnit = false;
};

// Scans as planned (the port held is given up first; the unit's port, or the last one found,
// has its place in the scan) and raises a unit found to 921600 baud when it has the fast link.
// A supported programmer found becomes the hold's unit.
[[nodiscard]] UnitPresence FindUnit(const LinkHold& link, const UnitSearchPlan& plan);

// Before an operation: whether the hold's unit still answers, with the same version, on its
// open port; when not, the port is closed (bringing the unit back to 115200 baud if it hears) and
// the unit looked for again, its own port first, keeping to the unit given.
[[nodiscard]] UnitPresence EnsureUnit(const LinkHold& link);
