#include "device/unit_presence.h"

#include <cstring>

#include "platform/text.h"

bool SameUnit(const UnitIdentity& a, const UnitIdentity& b) {
    return a.flags == b.flags && a.version.major == b.version.major &&
           a.version.minor == b.version.minor && a.version.modelLetter == b.version.modelLetter &&
           std::strcmp(a.port, b.port) == 0 && std::strcmp(a.adapter, b.adapter) == 0;
}

KVTandrel* LinkHold::operator->() const {
    return &link_->device_;
}

UnitIdentity& LinkHold::unit() const {
    return link_->unit_;
}

SerialPorts& LinkHold::ports() const {
    return link_->ports_;
}

void LinkHold::StartWork() const {
    link_->device_.stopRequested = 0;
}

UnitLink::UnitLink() : UnitLink(SystemSerialPorts(), SystemClock()) {}

UnitLink::UnitLink(SerialPorts& ports, Clock& clock) : ports_(ports), device_(ports, clock) {}

LinkHold UnitLink::Take() {
    if (taken_.exchange(true)) return {};
    return LinkHold(this);
}

UnitPresence FindUnit(const LinkHold& link, const UnitSearchPlan& plan) {
    KVTandrel& device = *link;
    UnitIdentity& unit = link.unit();
    UnitPresence presence;
    presence.searched = true;
    presence.given = unit;
    if (device.hPort) device.ClosePort();
    UnitIdentity& found = presence.found;
    const char* lastPort = unit.port[0] != '\0' ? unit.port : nullptr;
    found.flags =
        plan.onlyPort != nullptr
            ? device.DetectHardwareAt(plan.onlyPort, found.name, sizeof found.name, &found.version)
            : device.DetectHardware(found.name, sizeof found.name, &found.version, lastPort,
                                    plan.start);
    presence.stopped = device.stopRequested.load() != 0;
    if (presence.stopped) {
        // Stopped as the scan ended: whatever answered is not taken up, nor held.
        if (device.hPort) device.ClosePort();
        found = {};
    }
    CopyText(found.port, sizeof found.port, device.portName);
    if (found.supported()) {
        CopyText(found.adapter, sizeof found.adapter, link.ports().AdapterId(found.port).c_str());
        if ((found.flags & kHardwareFastLinkMask) != 0 &&
            device.SetLinkSpeed(kSpeedCode921600) != kTandrelDone) {
            // A refusal leaves both sides at 115200 baud, where the unit goes on working; any
            // other failure has closed the port.
            presence.raiseFailed = device.portOpen == 0;
        }
        presence.otherUnit = plan.keepToUnit && unit.supported() && !SameUnit(unit, found);
        unit = found;
    }
    presence.failure = device.LastFailure();
    return presence;
}

UnitPresence EnsureUnit(const LinkHold& link) {
    KVTandrel& device = *link;
    const UnitIdentity& unit = link.unit();
    if (unit.supported() && device.portOpen != 0 && std::strcmp(device.portName, unit.port) == 0) {
        FirmwareVersion now{};
        if (device.GetFirmwareVersion(&now) == kTandrelDone && now.major == unit.version.major &&
            now.minor == unit.version.minor && now.modelLetter == unit.version.modelLetter) {
            UnitPresence still;
            still.found = still.given = unit;
            return still;
        }
    }
    return FindUnit(link, {ScanStart::kLastPortFirst, nullptr, true});
}
