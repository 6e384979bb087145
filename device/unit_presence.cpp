#include "device/unit_presence.h"

#include "platform/text.h"

UnitPresence FindUnit(KVTandrel& device, const UnitSearchPlan& plan) {
    UnitPresence found;
    found.searched = true;
    if (device.hPort) device.ClosePort();
    found.flags =
        plan.onlyPort != nullptr
            ? device.DetectHardwareAt(plan.onlyPort, found.name, sizeof found.name, &found.version)
            : device.DetectHardware(found.name, sizeof found.name, &found.version, plan.lastPort,
                                    plan.start);
    found.stopped = plan.onlyPort == nullptr && found.flags == 0 && device.stopScan.load() != 0;
    CopyText(found.port, sizeof found.port, device.portName);
    if ((found.flags & kHardwareFastLinkMask) != 0 &&
        device.SetLinkSpeed(kSpeedCode921600) != kTandrelDone) {
        // A refusal leaves both sides at 115200 baud, where the unit goes on working; any other
        // failure has closed the port.
        found.raiseFailed = device.portOpen == 0;
    }
    return found;
}

UnitPresence EnsureUnit(KVTandrel& device, const UnitPresence& known, const char* lastPort) {
    if (known.ready() && device.portOpen != 0) {
        FirmwareVersion now{};
        if (device.GetFirmwareVersion(&now) == kTandrelDone && now.major == known.version.major &&
            now.minor == known.version.minor && now.modelLetter == known.version.modelLetter) {
            UnitPresence still = known;
            still.searched = still.stopped = false;
            return still;
        }
    }
    return FindUnit(device, {lastPort, ScanStart::kLastPortFirst, nullptr});
}
