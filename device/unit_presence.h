// Keeping a program attached to its unit while the unit comes and goes (the programmer window:
// one KVTandrel that stays open across operations). Before each operation one version frame
// tells whether the unit found before is still there; when it is not, or none was found, the
// ports are scanned again, the port it was last on first. A unit found is raised to its fast
// link. Portable; runs on whichever thread owns the KVTandrel at the time.
#pragma once

#include <cstdint>

#include "device/kvtandrel.h"

// What a search found. The caller tells the user when `searched` is set.
struct UnitPresence {
    bool searched = false;    // the ports were scanned (else the unit known before answered)
    bool stopped = false;     // KVTandrel::stopScan ended the scan
    std::uint32_t flags = 0;  // HardwareFlags of what answered; 0 nothing
    char name[kHardwareNameSize] = {};
    FirmwareVersion version{};
    char port[25] = {};  // where it answered
    // A supported programmer answered but the switch to its fast link failed: the port is
    // closed, and the device's LastFailure() tells why.
    bool raiseFailed = false;

    // A supported programmer is there, its port open.
    bool ready() const { return (flags & kHardwareSupportedMask) != 0 && !raiseFailed; }
};

// Where to look.
struct UnitSearchPlan {
    const char* lastPort = nullptr;  // where the unit was last found; null: nowhere
    ScanStart start = ScanStart::kUsualOrder;
    const char* onlyPort = nullptr;  // non-null: this port alone
};

// Scans as planned (the device's port is given up first) and raises a unit found to 921600 baud
// when it has the fast link.
[[nodiscard]] UnitPresence FindUnit(KVTandrel& device, const UnitSearchPlan& plan);

// Before an operation: whether the unit `known` found before (known.ready() false: none) still
// answers, with the same version, on the device's open port; when not, the port is closed
// (bringing the unit back to 115200 baud if it hears) and the unit is looked for again, lastPort
// first.
[[nodiscard]] UnitPresence EnsureUnit(KVTandrel& device, const UnitPresence& known,
                                      const char* lastPort);
